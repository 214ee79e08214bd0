#pragma once
// The forms of a page while it is walked.
//
// Each form gets a token for its action (tokens.h) and a record of what it
// sends (formrecord.h); each control the browser can show gets a short
// generated name and is written with the browser's few controls. Controls
// the browser cannot hold as members of their form (hidden ones, those
// outside their form, disabled ones) still go into the record, with their
// default values, so that the form sends what a desktop browser would.

#include <gumbo.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "proxy/normalise/formrecord.h"
#include "proxy/normalise/walkstate.h"

namespace wexaproxy {

// Longest default value offered in a text field (the browser's tag reader
// takes tags of up to 511 characters).
constexpr std::size_t MAX_OFFERED_VALUE = 400;
// Longest button label.
constexpr std::size_t MAX_BUTTON_LABEL = 40;
// Longest option text the browser keeps.
constexpr std::size_t MAX_OPTION_TEXT = 42;

// A value as the browser is given it in a tag: one word, in ASCII, blanks
// and the characters that end a word or a tag ("=", ">") written as "_", a
// double quote as "'", surrounding blanks dropped, cut at maxLength.
std::string offeredWord(std::string_view utf8Value, std::size_t maxLength);

class Walker;

class FormBuilder {
public:
    // pageUrl: where a form without an action goes; charset: what the
    // page's forms send their values in.
    FormBuilder(WalkState& state, Walker& walker, std::string pageUrl, std::string charset);

    // The elements, as the walk meets them.
    void form(const GumboNode* node);
    void input(const GumboNode* node);
    void select(const GumboNode* node);
    void textArea(const GumboNode* node);
    void button(const GumboNode* node);
    void label(const GumboNode* node);
    // Controls inside something hidden: not shown, but sent with their form.
    void hiddenControls(const GumboNode* node);
    // A form around a reader page's part: opened before the part is
    // walked (false when no form can be opened), closed after.
    bool openAround(const GumboNode* node);
    void closeAround();

    // Inside a disabled fieldset: controls are shown as text and not sent.
    void beginDisabled() { ++disabledDepth_; }
    void endDisabled() { --disabledDepth_; }

    // Around the walk of a table: a form opened between its rows stays open
    // to the end of the table. enterTable returns the enclosing table, to
    // give back to leaveTable.
    const GumboNode* enterTable(const GumboNode* table);
    void leaveTable(const GumboNode* table, const GumboNode* enclosing);

    // The page's end: the form still open is closed.
    void closeOpenForm();
    // The records of every form, as entries for the page's slots.
    void addRecords(std::vector<TokenStore::Entry>& entries);

private:
    // A form while it is written.
    struct Build {
        std::uint64_t id = 0;  // its slot (pagetokens.h)
        FormRecord record;
        int nextChoice = 0;
        std::unordered_map<std::string, std::string> radioNames;  // real name -> generated
        std::unordered_map<std::string, bool> radioChecked;       // real name -> a button is checked
        bool open = false;  // its FORM tag is written and its /FORM not yet
        bool hasSubmit = false;
        bool submitRecorded = false;  // the first submit button is known
        bool hasTextField = false;
    };

    Build* ownerOf(const GumboElement& element);
    // True, and the walk stopped, when more fields and options would pass
    // the page's bound.
    bool partsFull(std::size_t more);
    void addField(Build* owner, const std::string& formId, FieldRecord field);
    bool controlShown(const Build* owner) const;
    // A new form's record and its FORM tag; false, and the walk stopped,
    // when the page has as many forms as it may.
    bool startForm(const GumboElement& element);
    void openForm(Build& build);
    void closeForm();
    void firstButton(Build* owner, const GumboElement& element);
    void hint(const GumboElement& element);
    void textField(Build& owner, FieldRecord& field, const GumboElement& element, std::string_view type);
    void buttonElement(std::string_view type, const std::string& label);
    // Names of controls are unique in the page, not only in their form: the
    // browser groups radio buttons of one name across forms.
    std::string newName() { return "f" + std::to_string(nextName_++); }

    WalkState& state_;
    Walker& walker_;
    const std::string pageUrl_;  // absolute, without fragment; empty when unknown
    const std::string charset_;

    std::deque<Build> forms_;
    Build* current_ = nullptr;                  // the form whose FORM tag is open
    Build* lastOpened_ = nullptr;               // the form the browser gives buttons to
    const GumboNode* danglingScope_ = nullptr;  // table that closes a form left open in it
    const GumboNode* currentTable_ = nullptr;
    std::unordered_map<std::string, Build*> formsById_;
    std::unordered_map<std::string, std::vector<FieldRecord>> waitingForForm_;
    std::size_t parts_ = 0;  // fields and list options recorded
    int nextName_ = 0;
    int disabledDepth_ = 0;
    int labelDepth_ = 0;
    std::unordered_set<std::string> labelledIds_;  // ids named by the labels met so far
};

}  // namespace wexaproxy
