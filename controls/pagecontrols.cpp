#include "controls/pagecontrols.h"

#include "common/bounded.h"
#include "common/check.h"
#include "controls/image.h"
#include "passone/comIdentifier.h"
#include "passone/pagestream.h"
#include "passone/passone.h"
#include "passone/tokenizer.h"

namespace {

// Link text of a link whose A tag is not followed by usable text and that
// has no target word to show instead.
constexpr const char* LINK_WITHOUT_TARGET = "LINK";

// A control's text as the stream gets it; a control without one gives none.
std::string textOf(const char* text) {
    return text != nullptr ? text : "";
}

// The element at `index` of a list, or null when the list is empty (the
// lists treat a lookup in an empty list as a programming error).
template <class List>
Component* lookUp(List& list, short index) {
    if (list.getCount() == 0) return nullptr;
    return list.getReferenceOf(index);
}

}  // namespace

PageControls::PageControls(const PageLists& pageLists, ActiveSerialTable& activeTable,
                           PageProperties& properties)
    : lists(pageLists), table(activeTable), page(properties) {}

void PageControls::beginPage() {
    inForm = false;
    currentForm = nullptr;
    currentCombo = nullptr;
    newCombo.reset();
    comboRegistered = false;
}

void PageControls::setTitle(const char* title) {
    page.setTitle(title);
}

std::string PageControls::imageText(const char* imgTag) {
    Image image(imgTag, false);
    return textOf(image.getRepresentation());
}

bool PageControls::registerStored(ActiveTypes kind, Component* stored, Membership membership) {
    const short serial = table.addComponent(kind, stored);
    if (serial < 1) return false;
    if (membership == Membership::JOINS_FORM && inForm && currentForm != nullptr)
        currentForm->updateMemberList(static_cast<short>(serial - 1));
    return true;
}

template <class List, class Control>
PageBuilder::Element PageControls::placeControl(List& list, Control control, ActiveTypes kind,
                                                Membership membership) {
    const short count = list.addElement(control);
    if (count < 1) return {textOf(control.getRepresentation()), false};
    Control* stored = list.getReferenceOf(static_cast<short>(count - 1));
    const bool registered = registerStored(kind, stored, membership);
    return {textOf(stored->getRepresentation()), registered};
}

PageBuilder::Element PageControls::addLink(const char* aTag, const char* text) {
    Hyperlink link(aTag);
    char shown[Tokenizer::MAX_TOKEN + 1];
    wexa::boundedCopy(shown, text);
    // A link needs visible text to be seen and chosen: without any, it shows
    // its target word (never the text of the tag that followed).
    if (shown[0] == '\0') {
        wexa::boundedCopy(shown, link.getHref());
        dropControlBytes(shown);
        if (shown[0] == '\0') wexa::boundedCopy(shown, LINK_WITHOUT_TARGET);
    }
    // The link keeps at most its buffer's worth; the stream gets the link's
    // own text, so that page and element agree.
    link.setText(shown);
    return placeControl(lists.hyperlinks, link, HYPERLINK, Membership::SEPARATE);
}

PageBuilder::Element PageControls::addInput(int inputKind, const char* inputTag) {
    switch (inputKind) {
        case InputKind::RADIO:
            return placeControl(lists.radios, Radio(inputTag), RADIO, Membership::JOINS_FORM);
        case InputKind::TEXTBOX:
            return placeControl(lists.textBoxes, textBox(inputTag), TEXTBOX, Membership::JOINS_FORM);
        case InputKind::SUBMIT:
            return placeControl(lists.submits, Submit(inputTag, currentForm), SUBMIT, Membership::SEPARATE);
        case InputKind::RESET:
            return placeControl(lists.resets, Reset(inputTag, currentForm), RESET, Membership::SEPARATE);
        case InputKind::PASSWORD:
            return placeControl(lists.passwords, password(inputTag), PASSWORD, Membership::JOINS_FORM);
        default:  // CHECKBOX, and every INPUT without a known TYPE
            return placeControl(lists.checkboxes, Checkbox(inputTag), CHECKBOX, Membership::JOINS_FORM);
    }
}

void PageControls::openForm(const char* formTag) {
    if (inForm) return;
    inForm = true;
    currentForm = &lists.forms.addElement(Form(formTag))->form;
}

void PageControls::closeForm() {
    inForm = false;
}

bool PageControls::openList(const char* selectTag) {
    newCombo = std::make_unique<Combo>(selectTag);
    const short count = lists.combos.addElement(*newCombo);
    if (count == 0) {
        // The list of drop-down lists is full: the options are gathered in
        // the temporary, whose text is then written as plain text.
        currentCombo = newCombo.get();
        comboRegistered = false;
    } else {
        WEXA_CHECK(count >= 1, "elementOffset >= 1");
        currentCombo = lists.combos.getReferenceOf(static_cast<short>(count - 1));
        WEXA_CHECK(currentCombo != nullptr, "currentCombo != __null");
        comboRegistered = registerStored(COMBO, currentCombo, Membership::JOINS_FORM);
    }
    return comboRegistered;
}

void PageControls::addOption(const char* optionTag, const char* text) {
    if (currentCombo != nullptr) currentCombo->addOption(optionTag, text);
}

PageBuilder::Element PageControls::closeList() {
    if (currentCombo == nullptr) return {Combo::EMPTY_TEXT, false};
    currentCombo->adjustOptions();
    const char* shown = currentCombo->getRepresentation();
    // What a drop-down list shows when it has no text of its own, so that
    // the element still takes a column on the page.
    Element list{shown != nullptr && shown[0] != '\0' ? shown : Combo::EMPTY_TEXT, comboRegistered};
    newCombo.reset();
    currentCombo = nullptr;
    comboRegistered = false;
    return list;
}

Component* PageControls::elementAt(ActiveTypes type, short index) {
    switch (type) {
        case CHECKBOX:
            return lookUp(lists.checkboxes, index);
        case COMBO:
            return lookUp(lists.combos, index);
        case HYPERLINK:
            return lookUp(lists.hyperlinks, index);
        case PASSWORD:
            return lookUp(lists.passwords, index);
        case RADIO:
            return lookUp(lists.radios, index);
        case RESET:
            return lookUp(lists.resets, index);
        case SUBMIT:
            return lookUp(lists.submits, index);
        case TEXTBOX:
            return lookUp(lists.textBoxes, index);
        case IMAGE:
            break;
    }
    return nullptr;
}

void PageControls::resetLists() {
    lists.checkboxes.resetList();
    lists.combos.resetList();
    lists.hyperlinks.resetList();
    lists.textBoxes.resetList();
    lists.passwords.resetList();
    lists.submits.resetList();
    lists.resets.resetList();
    lists.radios.resetList();
    lists.forms.resetList();
}
