#pragma once
// The controls of the current page: PageControls makes the links, form
// controls and forms that pass one finds, keeps each in the list of its kind
// and registers it in the active element table (the page builder of pass
// one), and gives the table the element at a list position (its element
// lists). The lists themselves are the shell's; it hands them over once at
// start-up.

#include <memory>
#include <string>

#include "controls/checkbox.h"
#include "controls/combo.h"
#include "controls/formlist.h"
#include "controls/hyperlink.h"
#include "controls/llist.h"
#include "controls/password.h"
#include "controls/radiolist.h"
#include "controls/reset.h"
#include "controls/submit.h"
#include "controls/textbox.h"
#include "passone/pagebuilder.h"
#include "render/ast.h"

class PageProperties;

// The per-page lists that own the page's controls and forms.
struct PageLists {
    componentList<Checkbox>& checkboxes;
    componentList<Combo>& combos;
    componentList<Hyperlink>& hyperlinks;
    componentList<textBox>& textBoxes;
    RadioList& radios;
    componentList<password>& passwords;
    componentList<Submit>& submits;
    FormList& forms;
    componentList<Reset>& resets;
};

class PageControls : public PageBuilder, public ElementLists {
public:
    PageControls(const PageLists& lists, ActiveSerialTable& table, PageProperties& page);

    // PageBuilder
    void beginPage() override;
    void setTitle(const char* title) override;
    std::string imageText(const char* imgTag) override;
    Element addLink(const char* aTag, const char* text) override;
    Element addInput(int inputKind, const char* inputTag) override;
    void openForm(const char* formTag) override;
    void closeForm() override;
    bool openList(const char* selectTag) override;
    void addOption(const char* optionTag, const char* text) override;
    Element closeList() override;

    // ElementLists
    Component* elementAt(ActiveTypes type, short index) override;
    void resetLists() override;

private:
    // Whether a control of a kind becomes a member of the open form. Buttons
    // are given the form instead; links never belong to one.
    enum class Membership { JOINS_FORM, SEPARATE };

    // Registers the element stored at position count - 1 of the list of
    // kind; a control that joins forms becomes a member of the open form by
    // its index in the table. False when the table refused it.
    bool registerStored(ActiveTypes kind, Component* stored, Membership membership);
    // Stores a copy of a freshly made control in its list, registers the
    // stored copy and gives its representation. When the list is full the
    // temporary's representation is given as plain text.
    template <class List, class Control>
    Element placeControl(List& list, Control control, ActiveTypes kind, Membership membership);

    PageLists lists;
    ActiveSerialTable& table;
    PageProperties& page;

    bool inForm = false;
    // The form opened last, as stored in the form list; /FORM keeps it.
    Form* currentForm = nullptr;
    // The open drop-down list as stored in its list (or the temporary below
    // when the list of drop-down lists is full); null when none is open.
    Combo* currentCombo = nullptr;
    // The temporary of the open drop-down list, kept until it is closed.
    std::unique_ptr<Combo> newCombo;
    // Whether the open drop-down list was registered, i.e. whether its
    // opening delimiter was written and its closing one is due.
    bool comboRegistered = false;
};
