#pragma once
// Checks shared by the normaliser tests: whether a normalised page keeps to
// what the browser reads safely, and what the browser's own pass one makes
// of it.

#include <string>
#include <vector>

#include "proxy/core/request.h"

namespace normalisertest {

// Everything wrong with a normalised page, one message per problem (empty
// when there is none): a byte outside printable ASCII; a "<" that the
// browser would read as a tag it does not know, or a tag of ours with a
// value that is not one word; a text "&nbsp" not meant as a blank.
std::vector<std::string> dialectProblems(const std::string& html);

// What the browser's pass one made of a page (run in a fresh temporary
// working directory, with the page's lists and tables emptied first).
struct PassOneResult {
    std::string stream;      // pass1.tmp
    std::string title;       // the page title pass one set
    int elements = 0;        // entries of the active element table
    int delimiterPairs = 0;  // PS_TAB pairs in the stream
    bool delimitersPaired = true;
    // The forms: their actions, methods and the pairs the browser would
    // send for them as they stand (members last first, those with a name
    // and a value, as the form's submission sends them).
    struct FormSent {
        std::string action;  // with "http://" in front, as sent
        std::string method;
        std::vector<wexaproxy::FormField> fields;
    };
    std::vector<FormSent> forms;
};

// checkBoxes: positions (0-based, in page order) of checkboxes to tick
// before the forms are read.
PassOneResult runPassOne(const std::string& html, const std::vector<int>& checkBoxes = {});

// The text of a page stream with its control codes removed.
std::string streamText(const std::string& stream);

// The words of a page stream as the browser shows them: line ends, list
// items and table cells part words; emphasis codes and the delimiters
// around links do not (they show nothing).
std::vector<std::string> shownWords(const std::string& stream);

}  // namespace normalisertest
