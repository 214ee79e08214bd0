// The request reader: bytes from the browser to a parsed request or a reason.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "proxy/server/requestreader.h"

using wexaproxy::Command;
using wexaproxy::parseRequest;
using wexaproxy::Request;
using wexaproxy::RequestLimits;
using wexaproxy::RequestReader;
using State = wexaproxy::RequestReader::State;

namespace {

// Feeds the bytes without finishing, as a connection that stays open does.
State feedOpen(RequestReader& reader, const std::string& bytes) {
    return reader.feed(bytes.data(), bytes.size());
}

}  // namespace

TEST(RequestReaderCommands, GetAndRefreshAreCompleteAfterTheirUrlLine) {
    for (auto [word, command] : {std::pair{"GET", Command::Get}, std::pair{"REFRESH", Command::Refresh}}) {
        RequestReader reader;
        EXPECT_EQ(feedOpen(reader, std::string(word) + "\nhttp://host/a b"), State::NeedMore);
        ASSERT_EQ(feedOpen(reader, "\n"), State::Complete);
        EXPECT_EQ(reader.request().command, command);
        EXPECT_EQ(reader.request().url, "http://host/a b");
    }
}

TEST(RequestReaderCommands, PingIsCompleteAfterOneLine) {
    RequestReader reader;
    ASSERT_EQ(feedOpen(reader, "PING\n"), State::Complete);
    EXPECT_EQ(reader.request().command, Command::Ping);
}

TEST(RequestReaderCommands, UnknownOrLowerCaseCommandIsMalformed) {
    for (const char* bytes : {"HEAD\n/\n", "get\nhttp://x/\n", "\n", "FORM\n"}) {
        RequestReader reader;
        EXPECT_EQ(feedOpen(reader, bytes), State::Malformed) << bytes;
        EXPECT_EQ(reader.error(), "Unknown request");
    }
}

TEST(RequestReaderCommands, CarriageReturnLineEndsAreAccepted) {
    Request request;
    std::string error;
    ASSERT_EQ(parseRequest("GET\r\nhttp://h/\r\n", request, error), State::Complete);
    EXPECT_EQ(request.url, "http://h/");
}

TEST(RequestReaderCommands, BytesArrivingOneAtATimeGiveTheSameRequest) {
    const std::string bytes = "FORM-POST\nhttp://h/act\n2\na\n1\nb\n\n\n~~~\n";
    RequestReader reader;
    State state = State::NeedMore;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        state = reader.feed(&bytes[i], 1);
        if (i + 1 < bytes.size()) {
            ASSERT_EQ(state, State::NeedMore) << "after byte " << i;
        }
    }
    ASSERT_EQ(state, State::Complete);
    ASSERT_EQ(reader.request().fields.size(), 2u);
    EXPECT_EQ(reader.request().fields[1].name, "b");
    EXPECT_EQ(reader.request().fields[1].value, "");
}

TEST(RequestReaderForms, EmptyNameAndValueLinesAreFieldsNotTheEnd) {
    // An unchecked checkbox sends its name and an empty value line; the
    // empty line that ends the form only comes after 2 * count lines.
    RequestReader reader;
    ASSERT_EQ(feedOpen(reader, "FORM-GET\nhttp://h/f\n3\nbox\n\n\n\ncity\nParis\n\n~~~\n"), State::Complete);
    const Request& request = reader.request();
    EXPECT_EQ(request.command, Command::FormGet);
    EXPECT_EQ(request.url, "http://h/f");
    ASSERT_EQ(request.fields.size(), 3u);
    EXPECT_EQ(request.fields[0].name, "box");
    EXPECT_EQ(request.fields[0].value, "");
    EXPECT_EQ(request.fields[1].name, "");
    EXPECT_EQ(request.fields[1].value, "");
    EXPECT_EQ(request.fields[2].name, "city");
    EXPECT_EQ(request.fields[2].value, "Paris");
}

TEST(RequestReaderForms, ZeroFieldsNeedsOnlyTheEndLines) {
    RequestReader reader;
    ASSERT_EQ(feedOpen(reader, "FORM-POST\nhttp://h/\n0\n\n~~~\n"), State::Complete);
    EXPECT_EQ(reader.request().command, Command::FormPost);
    EXPECT_TRUE(reader.request().fields.empty());
}

TEST(RequestReaderForms, ValuesKeepTheirBytesExactly) {
    RequestReader reader;
    ASSERT_EQ(feedOpen(reader, "FORM-POST\nhttp://h/\n1\nq\n a&b=c %41 ~~~ \n\n~~~\n"), State::Complete);
    EXPECT_EQ(reader.request().fields[0].value, " a&b=c %41 ~~~ ");
}

TEST(RequestReaderForms, BadCountsAreMalformed) {
    for (const char* count : {"x", "-1", "", "1 ", "1001"}) {
        RequestReader reader;
        EXPECT_EQ(feedOpen(reader, std::string("FORM-GET\nhttp://h/\n") + count + "\n"), State::Malformed)
            << count;
    }
    RequestReader limited(RequestLimits{65536, 3});
    EXPECT_EQ(feedOpen(limited, "FORM-GET\nhttp://h/\n4\n"), State::Malformed);
    EXPECT_EQ(limited.error(), "Bad form: too many fields");
}

TEST(RequestReaderForms, MoreLinesThanTheCountIsMalformed) {
    RequestReader reader;
    EXPECT_EQ(feedOpen(reader, "FORM-GET\nhttp://h/\n1\na\nb\nc\n"), State::Malformed);
    EXPECT_EQ(reader.error(), "Bad form: fields do not match count");
}

TEST(RequestReaderForms, WrongEndMarkIsMalformed) {
    RequestReader reader;
    EXPECT_EQ(feedOpen(reader, "FORM-GET\nhttp://h/\n0\n\n~~\n"), State::Malformed);
}

TEST(RequestReaderLimits, OverlongLineIsRefusedBeforeItEnds) {
    RequestReader reader(RequestLimits{100, 10});
    EXPECT_EQ(feedOpen(reader, "GET\n" + std::string(96, 'a')), State::NeedMore);
    EXPECT_EQ(feedOpen(reader, "a"), State::Malformed);
    EXPECT_EQ(reader.error(), "Request too long");
}

TEST(RequestReaderLimits, ManyEmptyLinesCountAgainstTheLimit) {
    RequestReader reader(RequestLimits{100, 1000});
    std::string bytes = "FORM-GET\nhttp://h/\n999\n" + std::string(200, '\n');
    EXPECT_EQ(feedOpen(reader, bytes), State::Malformed);
}

TEST(RequestReaderLimits, ExactlyTheLimitIsAccepted) {
    std::string bytes = "GET\nhttp://h/" + std::string(50, 'x') + "\n";
    RequestReader reader(RequestLimits{bytes.size(), 10});
    EXPECT_EQ(feedOpen(reader, bytes), State::Complete);
}

TEST(RequestReaderEndOfStream, LastLineWithoutNewlineCompletesOnClose) {
    Request request;
    std::string error;
    EXPECT_EQ(parseRequest("GET\nhttp://h/x", request, error), State::Complete);
    EXPECT_EQ(request.url, "http://h/x");
    EXPECT_EQ(parseRequest("PING", request, error), State::Complete);
    EXPECT_EQ(parseRequest("FORM-GET\nhttp://h/\n0\n\n~~~", request, error), State::Complete);
}

TEST(RequestReaderEndOfStream, TruncatedRequestIsIncomplete) {
    for (const char* bytes : {"", "GET\n", "FORM-GET\nhttp://h/\n2\na\nb\n"}) {
        Request request;
        std::string error;
        EXPECT_EQ(parseRequest(bytes, request, error), State::Malformed) << bytes;
        EXPECT_EQ(error, "Incomplete request");
    }
}

TEST(RequestReaderEndOfStream, BytesAfterACompleteRequestAreIgnored) {
    RequestReader reader;
    ASSERT_EQ(feedOpen(reader, "PING\ngarbage\n"), State::Complete);
    EXPECT_EQ(feedOpen(reader, "more"), State::Complete);
    EXPECT_EQ(reader.finish(), State::Complete);
}

TEST(RequestReaderChunks, ArbitraryBytesInAnyChunksGiveTheSameVerdict) {
    // Requests assembled from protocol-like pieces and noise, fed whole and
    // in random chunks: the reader must reach the same state and request.
    std::mt19937 random(2024);
    const std::vector<std::string> pieces = {
        "GET\n", "FORM-GET\n", "FORM-POST\n", "PING\n", "http://h/\n",        "2\n",  "0\n",
        "\n",    "~~~\n",      "x\n",         "\r\n",   std::string(1, '\0'), "\xff", "9999\n"};
    for (int round = 0; round < 2000; ++round) {
        std::string bytes;
        int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) bytes += pieces[random() % pieces.size()];

        RequestReader whole(RequestLimits{200, 5});
        whole.feed(bytes.data(), bytes.size());
        State expected = whole.finish();

        RequestReader chunked(RequestLimits{200, 5});
        for (std::size_t pos = 0; pos < bytes.size();) {
            std::size_t size = std::min<std::size_t>(1 + random() % 7, bytes.size() - pos);
            chunked.feed(bytes.data() + pos, size);
            pos += size;
        }
        ASSERT_EQ(chunked.finish(), expected) << bytes;
        if (expected == State::Complete) {
            ASSERT_EQ(chunked.request().url, whole.request().url);
            ASSERT_EQ(chunked.request().fields.size(), whole.request().fields.size());
        } else {
            ASSERT_EQ(chunked.error(), whole.error());
        }
    }
}
