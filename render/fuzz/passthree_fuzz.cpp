// Fuzz target: pass three on arbitrary page stream bytes, drawn into the
// page pad on a dummy terminal.
//
// Input: byte 0 gives the number of active elements (0 to 15) registered
// before the pass, the next that many bytes describe one element each (the
// top two bits its kind: link, checkbox or drop-down list; the other six its
// text width), the rest becomes pass2.tmp. Delimiter pairs in the stream may
// then be fewer or more than the elements, as after a malformed table.
//
// After the pass the view is scrolled with every scrolling key and moved to
// every element, as the key handler does. Besides what the sanitizers catch,
// every input is checked for a layout state in range: the column within the
// 78-column line, the indentation within its bound, the view within the page
// buffer.

#include <algorithm>
#include <cstdint>
#include <string>

#include "common/check.h"
#include "fuzzsupport.h"
#include "render/pass3.h"
#include "shell/global.h"

namespace {

constexpr int MAX_ELEMENTS = 16;

void addElement(std::uint8_t description) {
    GlobalVariables& g = GlobalNamespace;
    const int width = description & 63;
    const std::string text(static_cast<std::size_t>(width) * 2, 'w');
    switch (description >> 6) {
        case 1: {
            const short count = g.checkboxes.addElement(Checkbox("INPUT TYPE=CHECKBOX NAME=c"));
            g.ast.addElement(CHECKBOX, static_cast<short>(count - 1));
            break;
        }
        case 2: {
            Combo combo("SELECT NAME=s");
            combo.addOption("OPTION VALUE=v", text.substr(0, static_cast<std::size_t>(width)).c_str());
            if (width % 2 == 1) combo.addOption("OPTION SELECTED", "second");
            combo.adjustOptions();
            const short count = g.combos.addElement(combo);
            g.ast.addElement(COMBO, static_cast<short>(count - 1));
            break;
        }
        default: {
            Hyperlink link("A HREF=page.html");
            link.setText(text.c_str());
            const short count = g.hyperlinks.addElement(link);
            g.ast.addElement(HYPERLINK, static_cast<short>(count - 1));
            break;
        }
    }
}

int viewTop(const Rendering_Engine& engine) {
    return engine.current_displayY();
}

void checkLayoutState() {
    const Rendering_Engine& engine = GlobalNamespace.renderer;
    WEXA_CHECK(engine.getX() >= 0 && engine.getX() <= Rendering_Engine::LINE_WIDTH, "0 <= x <= 78");
    WEXA_CHECK(engine.getIndent() >= 0 && engine.getIndent() <= Rendering_Engine::MAX_INDENT,
               "0 <= indent <= MAX_INDENT");
    WEXA_CHECK(engine.getRowCount() >= 0, "row >= 0");
    WEXA_CHECK(engine.getPadRows() == Rendering_Engine::PAD_ROWS, "pad rows as created");
    const int top = engine.current_displayY();
    WEXA_CHECK(top >= 0 && top <= std::max(engine.getRowCount(), 0), "view inside the page");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wexafuzz::enterScratchDirectory();
    wexafuzz::startDummyTerminal();
    if (size == 0) return 0;

    const int elements = data[0] % MAX_ELEMENTS;
    std::size_t used = 1;
    for (int i = 0; i < elements && used < size; ++i) addElement(data[used++]);
    wexafuzz::writeBytes("pass2.tmp", data + used, size - used);

    runPassThree("pass2.tmp", GlobalNamespace.renderer, GlobalNamespace.ast);
    checkLayoutState();

    Rendering_Engine& engine = GlobalNamespace.renderer;
    for (const short key : {KEY_END, KEY_PPAGE, KEY_NPAGE, KEY_DOWN, KEY_UP, KEY_HOME, KEY_NPAGE, KEY_NPAGE,
                            static_cast<int>(Rendering_Engine::REPAINT_KEY)}) {
        engine.scrollText(key);
        checkLayoutState();
        WEXA_CHECK(engine.getBase() <= viewTop(engine) && viewTop(engine) + Rendering_Engine::VIEW_ROWS <=
                                                              engine.getBase() + Rendering_Engine::PAD_ROWS,
                   "view inside the window");
    }
    ActiveSerialTable& table = GlobalNamespace.ast;
    table.setSelect();
    for (short i = 0; i < table.getCount(); ++i) {
        engine.scrollNext_aE();
        engine.repaint();
        checkLayoutState();
        table.moveNext(false);
    }
    WEXA_CHECK(table.getSelected() == table.getPointerToAST(), "once around the ring");

    wexafuzz::forgetPage();
    return 0;
}
