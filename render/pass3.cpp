#include "render/pass3.h"

#include <curses.h>

#include "common/check.h"
#include "render/Pass3_Tokenizer.h"
#include "render/Rendering_Engine.h"
#include "render/ast.h"

void runPassThree(const char* fileName, Rendering_Engine& renderer, const ActiveSerialTable& table) {
    Pass3_Tokenizer reader;
    renderer.browserWindow();
    renderer.setSource(fileName);
    reader.findToken(fileName, renderer);

    // Each element redraws its representation in its own colours (those
    // outside the window draw nothing). The view is copied to the screen
    // once, at the end, rather than per element.
    renderer.holdRefresh(true);
    const ASTNode* const first = table.getPointerToAST();
    if (first != nullptr) {
        const ASTNode* ptr = first;
        do {
            WEXA_CHECK(ptr->info != nullptr, "ptr->info != __null");
            ptr->info->display();
            ptr = ptr->next;
        } while (ptr != first);
    }
    renderer.holdRefresh(false);

    // The view is at the top of a new page; cursor-up leaves it there and
    // only shows it with its scroll marks.
    renderer.scrollText(KEY_UP);
}
