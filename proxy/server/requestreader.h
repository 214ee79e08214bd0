#pragma once
// The request reader: turns the bytes a browser sends into one parsed
// request, or into the plain-words reason why they are not one.
//
// The browser never half-closes its connection before it reads the reply,
// so the end of a request cannot be told from the end of the stream: it is
// told from the command. GET and REFRESH are two lines, PING is one, and a
// form is the action, a count, exactly 2 * count name and value lines (empty
// ones included: an unchecked box sends an empty value), an empty line and
// "~~~".

#include <cstddef>
#include <string>

#include "proxy/core/request.h"

namespace wexaproxy {

struct RequestLimits {
    std::size_t maxBytes = 64 * 1024;  // the whole request, every byte counted
    std::size_t maxFields = 1000;      // largest accepted form count
};

class RequestReader {
public:
    enum class State { NeedMore, Complete, Malformed };

    explicit RequestReader(RequestLimits limits = {});

    // Takes the next bytes from the connection. Once the state is Complete
    // or Malformed, further bytes are ignored (and not counted).
    State feed(const char* data, std::size_t size);

    // The client closed its sending side. A request whose last line lacks
    // only its "\n" is taken as complete; anything shorter is malformed.
    State finish();

    State state() const { return state_; }
    // Valid once the state is Complete.
    const Request& request() const { return request_; }
    // Why the request was refused, in plain words; valid once Malformed.
    const std::string& error() const { return error_; }

private:
    enum class Stage { Command, Url, Count, Name, Value, Blank, Terminator };

    State acceptLine(std::string line);
    State fail(const char* reason);

    RequestLimits limits_;
    State state_ = State::NeedMore;
    Stage stage_ = Stage::Command;
    std::size_t received_ = 0;
    std::size_t fieldsLeft_ = 0;
    std::string pending_;  // bytes of the line not yet ended by "\n"
    Request request_;
    std::string error_;
};

// Convenience for callers that hold the whole request at once: feeds the
// bytes, then finishes as if the client had closed.
RequestReader::State parseRequest(const std::string& bytes, Request& request, std::string& error,
                                  RequestLimits limits = {});

}  // namespace wexaproxy
