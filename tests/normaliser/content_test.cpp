// What the normaliser makes of kinds of content the corpus pages do not
// show: redirecting pages, framesets, plain text and bodies that are not
// pages at all.

#include <gtest/gtest.h>

#include <string>

#include "proxy/normalise/normaliser.h"

namespace {

std::string normalised(const std::string& html) {
    wexaproxy::TokenStore store;
    return wexaproxy::normaliseHtml(html, "text/html", "http://site.example/dir/page.html", store);
}

wexaproxy::PageInput input(const std::string& body, const std::string& type) {
    wexaproxy::PageInput in;
    in.body = body;
    in.contentType = type;
    in.finalUrl = "http://site.example/docs/notes.txt?x=1";
    in.size = static_cast<std::int64_t>(body.size());
    return in;
}

}  // namespace

TEST(PageContent, MetaRefreshOffersItsTargetAsALink) {
    const std::string out = normalised(
        "<html><head><meta http-equiv=\"Refresh\" content=\"\n 0; "
        "URL='../moved.html'\"></head><body>x</body></html>");
    EXPECT_EQ(out,
              "This page moves on to <A HREF=~~Lhsite.example!moved.html>http://site.example/moved.html</A>"
              "<BR><BR>x");
}

TEST(PageContent, FramesAreOfferedAsLinks) {
    const std::string out = normalised(
        "<frameset cols=\"20%,80%\"><frame src=\"menu.html\" name=\"menu\"><frame "
        "src=\"main.html\"></frameset>");
    EXPECT_EQ(out,
              "Frame: <A HREF=~~Lhsite.example!dir!menu.html>menu</A><BR>Frame: "
              "<A HREF=~~Lhsite.example!dir!main.html>main.html</A>");
}

TEST(PageContent, PlainTextKeepsItsLinesAndIsNamedAfterTheFile) {
    wexaproxy::TokenStore store;
    wexaproxy::Normaliser normaliser(store);
    EXPECT_EQ(normaliser.render(
                  input("Caf\xC3\xA9 <menu>\n\n\n  indented\tand tabbed\n", "text/plain; charset=utf-8")),
              "<TITLE>notes.txt</TITLE>Cafe < menu><BR><BR>&nbsp;indented &nbsp&nbsp;&nbsp;and tabbed");
}

TEST(PageContent, BodiesThatAreNotPagesAreDescribed) {
    wexaproxy::TokenStore store;
    wexaproxy::Normaliser normaliser(store);
    const std::string image = normaliser.render(input(std::string("\x89PNG\0\0", 6), "image/png"));
    EXPECT_NE(image.find("image/png data (6 bytes)"), std::string::npos);
    // Without a type, NUL bytes give a binary file away.
    const std::string binary = normaliser.render(input(std::string("MZ\0\0\x90", 5), ""));
    EXPECT_NE(binary.find("unknown type data"), std::string::npos);
}

TEST(PageContent, EmptyFieldsWithoutALabelShowTheirPlaceholder) {
    const std::string out = normalised(R"(<form action="/in">
        <input name="email" placeholder="Email address"><input type="password" name="p" aria-label="Password">
        <label>Name <input name="n" placeholder="Your name"></label>
        <label for="c">City</label><input id="c" name="city" placeholder="e.g. Oslo">
        <input name="q" value="given" placeholder="unused"></form>)");
    EXPECT_NE(out.find("Email address <INPUT TYPE=TEXTBOX NAME=f0>"), std::string::npos) << out;
    EXPECT_NE(out.find("Password <INPUT TYPE=PASSWORD NAME=f1>"), std::string::npos) << out;
    for (const char* absent : {"Your name", "e.g. Oslo", "unused"})
        EXPECT_EQ(out.find(absent), std::string::npos);
}
