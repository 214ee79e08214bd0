#include "proxy/core/request.h"

namespace wexaproxy {

const char* commandName(Command command) {
    switch (command) {
        case Command::Get:
            return "GET";
        case Command::Refresh:
            return "REFRESH";
        case Command::Ping:
            return "PING";
        case Command::FormGet:
            return "FORM-GET";
        case Command::FormPost:
            return "FORM-POST";
    }
    return "?";
}

}  // namespace wexaproxy
