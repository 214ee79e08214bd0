// The pass-through page filter and content classification.

#include <gtest/gtest.h>

#include <string>

#include "proxy/core/pagefilter.h"

using wexaproxy::ContentKind;
using wexaproxy::PageInput;
using wexaproxy::PassThroughFilter;

TEST(ContentTypes, ClassifiedByTypeIgnoringParametersAndCase) {
    EXPECT_EQ(wexaproxy::classifyContentType("text/html; charset=utf-8"), ContentKind::Html);
    EXPECT_EQ(wexaproxy::classifyContentType("TEXT/HTML"), ContentKind::Html);
    EXPECT_EQ(wexaproxy::classifyContentType(""), ContentKind::Html);
    EXPECT_EQ(wexaproxy::classifyContentType("application/xhtml+xml"), ContentKind::Html);
    EXPECT_EQ(wexaproxy::classifyContentType("text/plain"), ContentKind::Text);
    EXPECT_EQ(wexaproxy::classifyContentType("application/ld+json"), ContentKind::Text);
    EXPECT_EQ(wexaproxy::classifyContentType("image/png"), ContentKind::Other);
    EXPECT_EQ(wexaproxy::classifyContentType("application/octet-stream"), ContentKind::Other);
}

TEST(PassThroughFilter, HtmlIsUnchanged) {
    PageInput input;
    std::string body = "<HTML><B>x</B>\n</HTML>";
    input.body = body;
    input.contentType = "text/html";
    EXPECT_EQ(PassThroughFilter().render(input), body);
}

TEST(PassThroughFilter, PlainTextCannotOpenATag) {
    PageInput input;
    std::string body = "if a<b then\r\n</HTML> <!-- x\nend";
    input.body = body;
    input.contentType = "text/plain";
    std::string page = PassThroughFilter().render(input);
    EXPECT_EQ(page, "if a< b then<BR>< /HTML> < !-- x<BR>end");
    // No "<" of the text is followed by a letter, "/" or "!" any more; only our BR tags remain.
    std::string withoutBreaks = page;
    for (std::size_t at; (at = withoutBreaks.find("<BR>")) != std::string::npos;) withoutBreaks.erase(at, 4);
    for (std::size_t i = 0; i + 1 < withoutBreaks.size(); ++i) {
        if (withoutBreaks[i] == '<') {
            EXPECT_EQ(withoutBreaks[i + 1], ' ');
        }
    }
}

TEST(PassThroughFilter, OtherContentBecomesAShortPageNamingTypeAndSize) {
    PageInput input;
    input.contentType = "image/png; x=<script>";
    input.bodyOmitted = true;
    input.size = 20480;
    std::string page = PassThroughFilter().render(input);
    EXPECT_NE(page.find("image/png data (20 KB)"), std::string::npos) << page;
    EXPECT_EQ(page.find("<script"), std::string::npos);
}

TEST(PassThroughFilter, UntypedBinaryBodyIsNotShownAsAPage) {
    PageInput input;
    std::string body("GIF89a\0\0\1", 9);
    input.body = body;
    input.size = 9;
    std::string page = PassThroughFilter().render(input);
    EXPECT_NE(page.find("unknown type data (9 bytes)"), std::string::npos) << page;
}
