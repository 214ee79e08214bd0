#pragma once
// A form: its NAME, ACTION and METHOD, and its member controls recorded as
// positions in the active element table (newest first).

class Form {
public:
    Form() = default;
    explicit Form(const char* tagText);
    Form(const Form& other);
    Form& operator=(const Form& other);
    ~Form();

    void updateMemberList(short index);
    // Sends the form on a new connection to the proxy server and leaves the
    // connection open for the reply; 0 when no connection could be made.
    int submit();
    void reset();

    const char* getName() const { return name; }
    const char* getMethod() const { return method; }
    const char* getAction() const { return action; }
    short getMemberCount() const { return memberCount; }

    struct Member {
        short index;
        Member* next;
    };
    const Member* getMembers() const { return members; }

private:
    void clearMembers();

    char name[41] = {};
    char method[41] = {};
    char action[92] = {};
    short memberCount = 0;
    Member* members = nullptr;
};
