#pragma once
// A form: its NAME, ACTION and METHOD, and its member controls recorded as
// positions in the active element table (0-based), newest first. The form
// owns its member entries; copies get their own.

class Form {
public:
    Form() = default;
    // Reads NAME, ACTION and METHOD (single words) from the FORM tag text.
    explicit Form(const char* tagText);
    Form(const Form& other);
    Form& operator=(const Form& other);
    ~Form();

    // Records a member at the front of the list.
    void updateMemberList(short index);
    // Sends the form through the proxy client (Network::sendForm): POST or
    // GET by METHOD, the action (given the "http://" prefix once), and the
    // members that have both a name and a value, last member first. The
    // connection stays open for the reply, which the next fetch reads.
    // Returns 0 (and shows the error) when no connection could be made.
    int submit();
    // Resets every member control.
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
    void copyMembers(const Member* from);

    char name[41] = {};
    char method[41] = {};
    char action[92] = {};
    short memberCount = 0;
    Member* members = nullptr;
};
