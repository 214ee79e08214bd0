#include "controls/host.h"

#include "common/check.h"

namespace {

ControlHost installed;

}  // namespace

void installControlHost(const ControlHost& host) {
    installed = host;
}

PageView& hostPage() {
    WEXA_CHECK(installed.page != nullptr, "host.page != __null");
    return *installed.page;
}

KeyMode& hostMode() {
    WEXA_CHECK(installed.mode != nullptr, "host.mode != __null");
    return *installed.mode;
}

ActiveSerialTable& hostTable() {
    WEXA_CHECK(installed.table != nullptr, "host.table != __null");
    return *installed.table;
}

UniformResourceLocator& hostUrl() {
    WEXA_CHECK(installed.url != nullptr, "host.url != __null");
    return *installed.url;
}

Network& hostNetwork() {
    WEXA_CHECK(installed.network != nullptr, "host.network != __null");
    return *installed.network;
}

MessageWindow& hostMessages() {
    WEXA_CHECK(installed.messages != nullptr, "host.messages != __null");
    return *installed.messages;
}
