// Form restoration: from the pairs the browser sends (generated names,
// reverse page order, unchecked boxes with empty values, no button) to the
// pairs a desktop browser would send.

#include "proxy/normalise/formrecord.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using wexaproxy::FieldRecord;
using wexaproxy::FormField;
using wexaproxy::FormRecord;
using Kind = wexaproxy::FieldRecord::Kind;

namespace {

FieldRecord field(Kind kind, std::string name, std::string generated, std::string value) {
    FieldRecord f;
    f.kind = kind;
    f.name = std::move(name);
    f.generated = std::move(generated);
    f.value = std::move(value);
    return f;
}

// A search form as the normaliser records it:
//   hidden sid, text q (default "two words"), checkbox exact, radios
//   lang=en/de, list size (S, M selected, L), text area notes, password pw,
//   submit "go"=Search, a second submit.
FormRecord searchForm() {
    FormRecord form;
    form.action = "http://example.org/search";
    form.fields.push_back(field(Kind::Hidden, "sid", "", "a b=c"));
    FieldRecord q = field(Kind::Text, "q", "f0", "two words");
    q.offered = "two_words";
    form.fields.push_back(q);
    FieldRecord exact = field(Kind::Checkbox, "exact", "f1", "on");
    form.fields.push_back(exact);
    FieldRecord en = field(Kind::Radio, "lang", "f2", "en");
    en.choice = "0";
    en.checked = true;
    FieldRecord de = field(Kind::Radio, "lang", "f2", "de");
    de.choice = "1";
    form.fields.push_back(en);
    form.fields.push_back(de);
    FieldRecord size = field(Kind::Select, "size", "f3", "");
    size.options = {{"small", false}, {"medium", true}, {"large", false}};
    form.fields.push_back(size);
    FieldRecord notes = field(Kind::TextArea, "notes", "f4", "line one\nline two");
    notes.offered = "line_one_line_two";
    form.fields.push_back(notes);
    form.fields.push_back(field(Kind::Password, "pw", "f5", ""));
    form.fields.push_back(field(Kind::Submit, "go", "", "Search"));
    form.fields.push_back(field(Kind::Submit, "other", "", "Other"));
    return form;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairs(const std::vector<FormField>& fields) {
    Pairs out;
    for (const FormField& f : fields) out.emplace_back(f.name, f.value);
    return out;
}

}  // namespace

TEST(FormRestoration, UntouchedFormSendsItsDefaultsInPageOrder) {
    // What the browser sends for the untouched form, last control first: the
    // password (never edited) is left out, the unchecked box comes with an
    // empty value, the list with its option number.
    const std::vector<FormField> sent = {
        {"f4", "line_one_line_two"}, {"f3", "1"}, {"f2", "0"}, {"f1", ""}, {"f0", "two_words"}};
    EXPECT_EQ(pairs(wexaproxy::restoreFields(searchForm(), sent)), (Pairs{{"sid", "a b=c"},
                                                                          {"q", "two words"},
                                                                          {"lang", "en"},
                                                                          {"size", "medium"},
                                                                          {"notes", "line one\r\nline two"},
                                                                          {"pw", ""},
                                                                          {"go", "Search"}}));
}

TEST(FormRestoration, WhatTheUserChangedIsSent) {
    const std::vector<FormField> sent = {{"f5", "secret"}, {"f4", "new note"}, {"f3", "2"},
                                         {"f2", "1"},      {"f1", "1"},        {"f0", "typed text"}};
    EXPECT_EQ(pairs(wexaproxy::restoreFields(searchForm(), sent)), (Pairs{{"sid", "a b=c"},
                                                                          {"q", "typed text"},
                                                                          {"exact", "on"},
                                                                          {"lang", "de"},
                                                                          {"size", "large"},
                                                                          {"notes", "new note"},
                                                                          {"pw", "secret"},
                                                                          {"go", "Search"}}));
}

TEST(FormRestoration, AnEmptiedTextFieldIsSentEmpty) {
    // The browser leaves out a text box it holds empty.
    const std::vector<FormField> sent = {{"f3", "0"}, {"f2", "0"}, {"f1", ""}};
    const Pairs restored = pairs(wexaproxy::restoreFields(searchForm(), sent));
    EXPECT_EQ(restored[1], (std::pair<std::string, std::string>{"q", ""}));
    EXPECT_EQ(restored[4], (std::pair<std::string, std::string>{"notes", ""}));
}

TEST(FormRestoration, FieldsOutsideTheBrowsersFormGoWithTheirDefaults) {
    FormRecord form;
    FieldRecord outside = field(Kind::Text, "far", "", "away");
    outside.reachable = false;
    FieldRecord box = field(Kind::Checkbox, "box", "", "yes");
    box.reachable = false;
    box.checked = true;
    FieldRecord list = field(Kind::Select, "many", "", "");
    list.reachable = false;
    list.multiple = true;
    list.options = {{"a", true}, {"b", false}, {"c", true}};
    FieldRecord readOnly = field(Kind::Text, "fixed", "f0", "kept");
    readOnly.offered = "kept";
    readOnly.readOnly = true;
    form.fields = {outside, box, list, readOnly};
    EXPECT_EQ(pairs(wexaproxy::restoreFields(form, {{"f0", "changed"}})),
              (Pairs{{"far", "away"}, {"box", "yes"}, {"many", "a"}, {"many", "c"}, {"fixed", "kept"}}));
}

TEST(FormRestoration, MultipleListsAndTheNoOptionChoice) {
    FormRecord form;
    FieldRecord list = field(Kind::Select, "tags", "f0", "");
    list.multiple = true;
    list.options = {{"x", true}, {"y", false}, {"z", true}};
    list.choice = "0";  // shown as selected: the first selected option
    FieldRecord empty = field(Kind::Select, "none", "f1", "");
    empty.multiple = true;
    empty.options = {{"p", false}};
    empty.choice = wexaproxy::NO_OPTION_VALUE;
    form.fields = {list, empty};
    // Left as offered: every selected option, and nothing for the other.
    EXPECT_EQ(pairs(wexaproxy::restoreFields(form, {{"f1", "n"}, {"f0", "0"}})),
              (Pairs{{"tags", "x"}, {"tags", "z"}}));
    // Changed: the one chosen.
    EXPECT_EQ(pairs(wexaproxy::restoreFields(form, {{"f1", "0"}, {"f0", "1"}})),
              (Pairs{{"tags", "y"}, {"none", "p"}}));
}

TEST(FormRestoration, ImageButtonsAndNamelessFields) {
    FormRecord form;
    form.fields = {field(Kind::Text, "", "f0", ""), field(Kind::ImageSubmit, "map", "", "")};
    EXPECT_EQ(pairs(wexaproxy::restoreFields(form, {{"f0", "ignored"}})),
              (Pairs{{"map.x", "0"}, {"map.y", "0"}}));
}

TEST(FormRestoration, ValuesAreEncodedInTheFormsCharset) {
    FormRecord form = searchForm();
    form.charset = "WINDOWS-1252";
    form.fields[0].value = "caf\xC3\xA9";
    const auto restored = wexaproxy::restoreFields(form, {{"f0", "cr\xC3\xA8me"}});
    EXPECT_EQ(restored[0].value, "caf\xE9");
    EXPECT_EQ(restored[1].value, "cr\xE8me");
}

namespace {

// A record whose every member differs from its default and from every other
// member, so that a member lost or swapped on the way shows.
FormRecord everyMemberSet() {
    FormRecord form;
    form.action = "https://example.org/act?x=1";
    form.post = true;
    form.multipart = true;
    form.charset = "ISO-8859-2";
    FieldRecord list = field(Kind::Select, "size", "f7", "list value");
    list.offered = "list offered";
    list.choice = "list choice";
    list.checked = true;
    list.readOnly = true;
    list.reachable = false;
    list.multiple = true;
    list.options = {{"opt one", true}, {"opt two", false}, {std::string("nul\0byte", 8), true}};
    form.fields.push_back(list);
    FieldRecord image = field(Kind::ImageSubmit, "map", "f8", "image value");
    image.offered = "image offered";
    image.choice = "image choice";
    form.fields.push_back(image);
    form.fields.push_back(field(Kind::Password, "", "", ""));
    return form;
}

// The members of each part of a record, to compare whole.
auto members(const wexaproxy::OptionRecord& o) {
    return std::tie(o.value, o.selected);
}
auto members(const FieldRecord& f) {
    return std::tie(f.kind, f.name, f.generated, f.value, f.offered, f.choice, f.checked, f.readOnly,
                    f.reachable, f.multiple);
}
auto members(const FormRecord& r) {
    return std::tie(r.action, r.post, r.multipart, r.charset);
}

void expectSameRecord(const FormRecord& a, const FormRecord& b) {
    EXPECT_EQ(members(a), members(b));
    ASSERT_EQ(a.fields.size(), b.fields.size());
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        SCOPED_TRACE("field " + std::to_string(i));
        EXPECT_EQ(members(a.fields[i]), members(b.fields[i]));
        ASSERT_EQ(a.fields[i].options.size(), b.fields[i].options.size());
        for (std::size_t j = 0; j < a.fields[i].options.size(); ++j)
            EXPECT_EQ(members(a.fields[i].options[j]), members(b.fields[i].options[j]));
    }
}

}  // namespace

TEST(FormRecordBytes, EveryMemberSurvivesTheTrip) {
    for (const FormRecord& original : {everyMemberSet(), searchForm(), FormRecord()}) {
        FormRecord back;
        ASSERT_TRUE(wexaproxy::formRecordFromBytes(wexaproxy::formRecordToBytes(original), back));
        expectSameRecord(original, back);
    }
}

TEST(FormRecordBytes, TruncatedDamagedOrForgedBytesAreRefused) {
    const std::string bytes = wexaproxy::formRecordToBytes(everyMemberSet());
    FormRecord back;
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(wexaproxy::formRecordFromBytes(bytes.substr(0, cut), back)) << "cut at " << cut;
    EXPECT_FALSE(wexaproxy::formRecordFromBytes(bytes + "x", back));
    std::string otherVersion = bytes;
    otherVersion[0] = 2;
    EXPECT_FALSE(wexaproxy::formRecordFromBytes(otherVersion, back));
    // A field count of four thousand million with nothing behind it.
    std::string forged = wexaproxy::formRecordToBytes(FormRecord());
    forged.replace(forged.size() - 4, 4, "\xFF\xFF\xFF\xFF");
    EXPECT_FALSE(wexaproxy::formRecordFromBytes(forged, back));
    // Any byte changed: refused, or read as a record that writes back to
    // exactly those bytes (a flag of 2 read as true, or a kind out of range,
    // would not).
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        for (int value : {0x00, 0x02, 0x09, 0x7F, 0xFF}) {
            std::string damaged = bytes;
            damaged[at] = static_cast<char>(value);
            if (wexaproxy::formRecordFromBytes(damaged, back)) {
                EXPECT_EQ(wexaproxy::formRecordToBytes(back), damaged) << "byte " << at << " = " << value;
            }
        }
    }
}
