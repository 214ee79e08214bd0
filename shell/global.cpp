#include "shell/global.h"

#include "controls/host.h"
#include "controls/pagecontrols.h"

GlobalVariables GlobalNamespace;

namespace {

// Connects the parts of GlobalNamespace once, before main runs: every part
// below the shell gets what it uses as a reference or a narrow interface,
// and nothing below the shell names GlobalNamespace. Built right after
// GlobalNamespace (same file, so in this order) and gone before it.
class Wiring {
public:
    explicit Wiring(GlobalVariables& g)
        : pageControls(PageLists{g.checkboxes, g.combos, g.hyperlinks, g.textBoxes, g.radios, g.passwords,
                                 g.submits, g.forms, g.resets},
                       g.ast, g.page) {
        g.renderer.connect(g.ast);
        g.ast.connect(pageControls, g.events);
        g.network.connect(g.url, g.pageCache, g.message, g.renderer, g.ast);
        g.network.setProgress(&g.loading);
        g.proxy.connect(g.network.io, g.message, g.renderer);
        installPageBuilder(&pageControls);
        installControlHost(ControlHost{&g.renderer, &g.events, &g.ast, &g.url, &g.network, &g.message});
    }
    ~Wiring() {
        installPageBuilder(nullptr);
        installControlHost(ControlHost{});
    }
    Wiring(const Wiring&) = delete;
    Wiring& operator=(const Wiring&) = delete;

private:
    // The page's control lists, as pass one's page builder and the active
    // element table's element lists.
    PageControls pageControls;
};

Wiring wiring(GlobalNamespace);

}  // namespace
