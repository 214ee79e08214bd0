// Forms through the whole round trip: a page is normalised, the browser's
// pass one builds its controls, the browser's pairs for the form (as its
// submission sends them) go back through the normaliser, and the request
// that reaches the web site is checked pair by pair.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dialect.h"
#include "proxy/normalise/normaliser.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Sent {
    wexaproxy::Request request;
    std::string error;
    bool ok = false;
    std::string page;  // the normalised page
};

// Normalises html (from http://site.example/dir/page.html), lets the
// browser submit form number `form` (ticking the checkboxes at the given
// positions first), and adapts the submission as the server would.
Sent submit(const std::string& html, std::size_t form = 0, const std::vector<int>& ticks = {}) {
    wexaproxy::TokenStore store;
    wexaproxy::Normaliser normaliser(store);
    Sent sent;
    sent.page = wexaproxy::normaliseHtml(html, "text/html; charset=utf-8",
                                         "http://site.example/dir/page.html", store);
    const auto result = normalisertest::runPassOne(sent.page, ticks);
    if (form >= result.forms.size()) return sent;
    const auto& browser = result.forms[form];
    sent.request.command =
        browser.method == "POST" ? wexaproxy::Command::FormPost : wexaproxy::Command::FormGet;
    sent.request.url = browser.action;
    sent.request.fields = browser.fields;
    sent.ok = normaliser.adaptRequest(sent.request, sent.error);
    return sent;
}

Pairs pairs(const wexaproxy::Request& request) {
    Pairs out;
    for (const auto& field : request.fields) out.emplace_back(field.name, field.value);
    return out;
}

}  // namespace

TEST(FormRoundTrip, ListsRadiosAndDefaultsComeBackAsTheirRealValues) {
    const Sent sent = submit(R"(
        <form action="find" method="get">
          <input type="radio" name="r" value="one word" checked>
          <input type="radio" name="r" value="two" checked>
          <select name="pick"><option value="a b">A</option><option selected>  Plain   text </option></select>
          <select name="many" multiple><option value="x" selected>X</option><option value="y" selected>Y</option></select>
          <select name="none" multiple><option value="z">Z</option></select>
          <textarea name="t"></textarea>
          <input type="submit" value="Find it">
        </form>)");
    ASSERT_TRUE(sent.ok) << sent.error;
    EXPECT_EQ(sent.request.url, "http://site.example/dir/find");
    EXPECT_EQ(sent.request.command, wexaproxy::Command::FormGet);
    // The first checked radio button wins (the page shows only that one
    // checked); a multiple list left alone sends all it selected.
    EXPECT_EQ(pairs(sent.request),
              (Pairs{{"r", "one word"}, {"pick", "Plain text"}, {"many", "x"}, {"many", "y"}, {"t", ""}}));
}

TEST(FormRoundTrip, ControlsOutsideTheFormElementAndInHiddenPartsAreSent) {
    const Sent sent = submit(R"(
        <input type="text" name="early" value="before" form="f">
        <form id="f" action="/go" method="post">
          <div style="display:none"><input type="text" name="honey" value="pot"></div>
          <input type="checkbox" name="c" value="yes">
        </form>
        <input type="hidden" name="late" value="after" form="f">
        <input type="text" name="stray" value="no form">
        <button form="f" name="b" value="clicked">Go</button>)",
                             0, {0});
    ASSERT_TRUE(sent.ok) << sent.error;
    EXPECT_EQ(sent.request.url, "http://site.example/go");
    EXPECT_EQ(sent.request.command, wexaproxy::Command::FormPost);
    // Controls the browser cannot hold in the form go with their values as
    // the page gave them; the button after the form still belongs to it.
    EXPECT_EQ(
        pairs(sent.request),
        (Pairs{{"early", "before"}, {"honey", "pot"}, {"c", "yes"}, {"late", "after"}, {"b", "clicked"}}));
    EXPECT_NE(sent.page.find("<INPUT TYPE=SUBMIT VALUE=Go>"), std::string::npos);
}

TEST(FormRoundTrip, DisabledControlsAreShownButNotSent) {
    const Sent sent = submit(R"(
        <form action="/x" method="post">
          <input name="a" value="live">
          <input name="b" value="dead" disabled>
          <fieldset disabled><input type="checkbox" name="c" checked></fieldset>
          <input type="submit" name="s" value="Send" disabled>
          <input type="submit" name="t" value="Other">
        </form>)");
    ASSERT_TRUE(sent.ok) << sent.error;
    EXPECT_EQ(pairs(sent.request), (Pairs{{"a", "live"}, {"t", "Other"}}));
    EXPECT_NE(sent.page.find("dead"), std::string::npos);
    EXPECT_NE(sent.page.find("[X]"), std::string::npos);
}

TEST(FormRoundTrip, FirstButtonMaySetActionMethodAndEncoding) {
    const Sent sent = submit(R"(
        <form action="/default" method="get">
          <input name="q" value="v">
          <button formaction="/upload" formmethod="post" formenctype="multipart/form-data">Up</button>
          <button formaction="/never">Other</button>
        </form>)");
    ASSERT_TRUE(sent.ok) << sent.error;
    EXPECT_EQ(sent.request.url, "http://site.example/upload");
    EXPECT_EQ(sent.request.command, wexaproxy::Command::FormPost);
    EXPECT_TRUE(sent.request.multipart);
}

TEST(FormRoundTrip, AFormWithoutButtonGetsOneAndAScriptedFormCannotBeSent) {
    const Sent plain = submit(R"(<form action="/s"><input name="q"></form>)");
    EXPECT_NE(plain.page.find("<INPUT TYPE=SUBMIT VALUE=Submit>"), std::string::npos);
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(pairs(plain.request), (Pairs{{"q", ""}}));

    const Sent scripted =
        submit(R"html(<form action="javascript:go()"><input name="q"><input type="submit"></form>)html");
    EXPECT_FALSE(scripted.ok);
    EXPECT_EQ(scripted.error, "This form can only be sent by a script");
}

TEST(FormRoundTrip, ValuesGoOutInThePageCharset) {
    wexaproxy::TokenStore store;
    wexaproxy::Normaliser normaliser(store);
    const std::string page = wexaproxy::normaliseHtml(
        "<form action=/s method=post><input type=hidden name=h value=caf\xE9><input name=q value=\"cr\xE8me "
        "br\xFBl\xE9"
        "e\"></form>",
        "text/html; charset=iso-8859-1", "http://site.example/", store);
    // The browser shows the default in ASCII, with "_" for the blank.
    EXPECT_NE(page.find("VALUE=creme_brulee>"), std::string::npos) << page;
    const auto result = normalisertest::runPassOne(page);
    ASSERT_EQ(result.forms.size(), 1u);
    wexaproxy::Request request;
    request.command = wexaproxy::Command::FormPost;
    request.url = result.forms[0].action;
    request.fields = result.forms[0].fields;
    std::string error;
    ASSERT_TRUE(normaliser.adaptRequest(request, error)) << error;
    EXPECT_EQ(pairs(request), (Pairs{{"h", "caf\xE9"},
                                     {"q",
                                      "cr\xE8me br\xFBl\xE9"
                                      "e"}}));
}

TEST(FormRoundTrip, RadioGroupsOfTwoFormsStayApart) {
    // The browser groups radio buttons by name across the whole page.
    const std::string html = R"(
        <form action="/a"><input type="radio" name="r" value="a1" checked><input type="radio" name="r" value="a2"></form>
        <form action="/b"><input type="radio" name="r" value="b1"><input type="radio" name="r" value="b2" checked></form>)";
    const Sent first = submit(html, 0);
    const Sent second = submit(html, 1);
    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_EQ(pairs(first.request), (Pairs{{"r", "a1"}}));
    EXPECT_EQ(pairs(second.request), (Pairs{{"r", "b2"}}));
    const auto result = normalisertest::runPassOne(first.page);
    EXPECT_EQ(result.forms[0].fields.size(), 1u);
    EXPECT_NE(result.forms[0].fields[0].name, result.forms[1].fields[0].name);
}
