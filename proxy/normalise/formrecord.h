#pragma once
// What the proxy keeps of a form so that a submission from the browser
// becomes what a desktop browser would send.
//
// The browser can only show a form whose field names and values are single
// short words, knows no hidden fields and no text areas, sends its fields in
// reverse page order, sends unchecked checkboxes with an empty value and
// never names the submit button. So the normaliser gives every control a
// short generated name ("f0", "f1" ...) and its choices generated values,
// and records here the real names and values; restoreFields turns the pairs
// the browser sends back into the real ones:
//
// - in document order, hidden fields included;
// - text fields with the value typed; a text field left as offered (its
//   default with blanks written as "_", see offeredWord in forms.h)
//   sends its real default; an emptied one sends the empty text, as it does
//   when the browser leaves it out;
// - checkboxes only when checked, radio buttons only the chosen one, lists
//   the real value of the chosen option;
// - the first submit button's name and value, when it has a name;
// - fields the browser could not show as members of the form (see
//   FieldRecord::reachable) with their default values;
// - every value in the form's character set.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/core/request.h"

namespace wexaproxy {

struct OptionRecord {
    std::string value;      // what the option sends (its value, else its text)
    bool selected = false;  // selected in the page
};

struct FieldRecord {
    enum class Kind { Hidden, Text, Password, TextArea, Checkbox, Radio, Select, Submit, ImageSubmit };

    Kind kind = Kind::Hidden;
    std::string name;       // the real name; an empty name is never sent
    std::string generated;  // the name the browser knows it by; empty when not shown
    std::string value;      // hidden, checkbox, radio, submit: the value sent;
                            // text, password, text area: the default
    std::string offered;    // text and text area: the default as the browser shows it
    std::string choice;     // radio: the generated value of this button
    bool checked = false;   // checkbox and radio: checked in the page
    bool readOnly = false;  // text fields: the default is sent whatever is typed
    // Whether the browser holds the field as a member of the form: a control
    // placed outside its form (HTML's form attribute) is not, and is sent
    // with its default value.
    bool reachable = true;
    bool multiple = false;              // select: several options may be sent
    std::vector<OptionRecord> options;  // select, in page order
};

// The generated option value that stands for "no option" in a list that may
// send none (a multiple list with nothing selected).
constexpr const char* NO_OPTION_VALUE = "n";

struct FormRecord {
    std::string action;  // absolute URL
    bool post = false;
    bool multipart = false;         // POST as multipart/form-data
    std::string charset = "UTF-8";  // canonical name (charset.h)
    std::vector<FieldRecord> fields;

    // Memory the record takes, roughly, for the token store's bound.
    std::size_t bytes() const;
};

// A record as bytes, for another instance that is asked for it (see
// server/peers.h): a version byte, then every member in the order declared,
// texts and counts as 4-byte lengths (most significant first) followed by
// their bytes, flags as one byte 0 or 1, kinds as one byte.
std::string formRecordToBytes(const FormRecord& form);
// The record back from such bytes; false, and form left unusable, for
// anything else: another version, a length beyond the end, a flag or kind
// out of range, bytes left over.
bool formRecordFromBytes(std::string_view bytes, FormRecord& form);

// The fields to send for a submission: sent are the pairs the browser sent
// (generated names, in any order). Values are in the record's charset.
std::vector<FormField> restoreFields(const FormRecord& form, const std::vector<FormField>& sent);

}  // namespace wexaproxy
