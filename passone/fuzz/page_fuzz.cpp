// Fuzz target: arbitrary bytes as an HTML page through the browser's whole
// page pipeline, the way the page cycle renders a fetched page: pass one
// (pass1.tmp, the title, the page's links and form controls), the title
// line, the table pass (pass2.tmp) and pass three into the page pad, where
// every element draws itself. Curses runs on a dummy terminal. Afterwards
// the view is moved to every element, as the key handler does, and the
// page's elements are released as before the next page.
//
// Besides what the sanitizers catch, every input is checked for a sound
// page stream in pass1.tmp:
//  - exactly one delimiter pair (two PS_TAB bytes) per registered element,
//    which pass three's placing of elements relies on;
//  - PS_TD always followed by one alignment byte (4 to 7), and those bytes
//    nowhere else;
//  - none of the bytes that are not codes (0, 13 to 15, 27, 29 to 31);
// and for a title of at most 80 characters without control bytes.

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "common/check.h"
#include "fuzzsupport.h"
#include "shell/global.h"
#include "shell/stub.h"

namespace {

void checkStream(const std::string& stream, short elements) {
    std::size_t tabs = 0;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(stream[i]);
        if (c == 9) ++tabs;
        if (c == 3) {
            WEXA_CHECK(i + 1 < stream.size(), "PS_TD has its alignment byte");
            const unsigned char align = static_cast<unsigned char>(stream[i + 1]);
            WEXA_CHECK(align >= 4 && align <= 7, "PS_TD followed by 4..7");
            ++i;
            continue;
        }
        WEXA_CHECK(c < 4 || c > 7, "alignment bytes only after PS_TD");
        WEXA_CHECK(c != 0 && !(c >= 13 && c <= 15) && c != 27 && !(c >= 29 && c <= 31),
                   "no byte that is not a code");
    }
    WEXA_CHECK(tabs == 2 * static_cast<std::size_t>(elements), "one PS_TAB pair per element");
}

void checkTitle(const char* title) {
    WEXA_CHECK(title != nullptr && std::strlen(title) <= 80, "title of at most 80 characters");
    for (const char* p = title; *p != '\0'; ++p)
        WEXA_CHECK(static_cast<unsigned char>(*p) >= 32, "no control byte in the title");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wexafuzz::enterScratchDirectory();
    wexafuzz::startDummyTerminal();
    static StubClass* stub = [] {
        ::mkdir("cache", 0755);
        return new StubClass();
    }();

    wexafuzz::writeBytes("cache/t.html", data, size);
    stub->Render("t.html");

    ActiveSerialTable& table = GlobalNamespace.ast;
    checkStream(wexafuzz::readBytes("pass1.tmp"), table.getCount());
    checkTitle(GlobalNamespace.page.getTitle());

    Rendering_Engine& engine = GlobalNamespace.renderer;
    table.setSelect();
    for (short i = 0; i < table.getCount(); ++i) {
        engine.scrollNext_aE();
        engine.repaint();
        table.moveNext(false);
    }
    engine.scrollText(KEY_END);

    wexafuzz::forgetPage();
    return 0;
}
