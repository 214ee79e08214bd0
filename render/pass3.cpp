#include "render/pass3.h"

#include "common/check.h"
#include "render/Pass3_Tokenizer.h"
#include "shell/global.h"

void runPassThree(const char* fileName) {
    Rendering_Engine& renderer = GlobalNamespace.renderer;
    Pass3_Tokenizer reader;
    renderer.browserWindow();
    reader.findToken(fileName);

    // Each element redraws its representation in its own colours. The view
    // is copied to the screen once, at the end, rather than per element.
    renderer.holdRefresh(true);
    const ASTNode* const first = GlobalNamespace.ast.getPointerToAST();
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
    renderer.scrollText(259);
}
