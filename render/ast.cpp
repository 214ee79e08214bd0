#include "render/ast.h"

#include <curses.h>

#include <climits>

#include "common/check.h"
#include "screen/keys.h"

namespace {

// Leaving a drop-down list and giving it the focus are told to it through
// these two pseudo-keys (the cursor-down and cursor-up codes) instead of
// select/unselect.
constexpr int COMBO_LEAVE_KEY = KEY_DOWN;
constexpr int COMBO_FOCUS_KEY = KEY_UP;

bool isTextField(ActiveTypes type) {
    return type == TEXTBOX || type == PASSWORD;
}

bool isTakenKind(ActiveTypes type) {
    const int value = static_cast<int>(type);
    return value >= CHECKBOX && value <= TEXTBOX && type != IMAGE;
}

}  // namespace

ActiveSerialTable::~ActiveSerialTable() {
    releaseNodes();
}

void ActiveSerialTable::connect(ElementLists& elementLists, KeyMode& keyMode) {
    lists = &elementLists;
    mode = &keyMode;
}

short ActiveSerialTable::addElement(ActiveTypes type, short index) {
    if (!isTakenKind(type) || lists == nullptr) return -1;
    Component* component = lists->elementAt(type, index);
    if (component == nullptr) return -1;
    return addComponent(type, component);
}

short ActiveSerialTable::addComponent(ActiveTypes type, Component* component) {
    if (!isTakenKind(type)) return -1;
    WEXA_CHECK(component != nullptr, "fresh->info != __null");
    if (count == SHRT_MAX) return -1;  // serial numbers are shorts
    auto* fresh = new ASTNode{type, component, nullptr};
    if (head == nullptr) {
        head = tail = selected = fresh;
        fresh->next = fresh;
    } else {
        tail->next = fresh;
        fresh->next = head;
        tail = fresh;
    }
    return ++count;
}

void ActiveSerialTable::moveNext(bool activate) {
    if (count == 0) return;
    WEXA_CHECK(selected->info != nullptr, "selected->info != __null");
    if (selected->type == COMBO) selected->info->getKey(COMBO_LEAVE_KEY);
    selected = selected->next;
    if (activate) activateSelected();
}

void ActiveSerialTable::activateSelected() {
    if (selected->type == COMBO)
        selected->info->getKey(COMBO_FOCUS_KEY);
    else
        selected->info->select();
}

void ActiveSerialTable::leaveFocus() {
    if (count == 0) return;
    if (selected->type == COMBO)
        selected->info->getKey(COMBO_LEAVE_KEY);
    else
        selected->info->unselect();
}

void ActiveSerialTable::moveTo(ASTNode* node) {
    if (count == 0 || node == nullptr) return;
    leaveFocus();
    selected = node;
    activateSelected();
    // A text field's edit loop ended with Tab (not with ESC, and not with a
    // key the key handler is to act on): the focus moves on from it.
    if (isTextField(selected->type) && mode != nullptr && !mode->inGlobalMode() && !mode->keyPending())
        mode->takeTabNext();
}

void ActiveSerialTable::movePrev() {
    if (count == 0) return;
    ASTNode* previous = selected;
    while (previous->next != selected) previous = previous->next;
    moveTo(previous);
}

ASTNode* ActiveSerialTable::firstFrom(int pageRow) const {
    ASTNode* node = head;
    for (short i = 0; i < count; ++i, node = node->next)
        if (node->info->getRow() >= pageRow) return node;
    return nullptr;
}

void ActiveSerialTable::selectFrom(int pageRow) {
    if (count == 0) return;
    ASTNode* node = firstFrom(pageRow);
    selected = node != nullptr ? node : head;
}

void ActiveSerialTable::storeXY(short x, int y) {
    if (count > 0) selected->info->setXY(x, y);
}

short ActiveSerialTable::getLength() const {
    return count > 0 ? selected->info->getLength() : 0;
}

int ActiveSerialTable::getRow() const {
    return count > 0 ? selected->info->getRow() : 0;
}

ActiveTypes ActiveSerialTable::getType() const {
    return count > 0 ? selected->type : CHECKBOX;
}

void ActiveSerialTable::screenRow(short row) {
    if (count > 0) selected->info->setScreenRow(row);
}

int ActiveSerialTable::getKey(int key) {
    if (count == 0) return key;
    if (key != TAB_KEY) return selected->info->getKey(key);

    const int result = selected->info->getKey(TAB_KEY);
    if (!isTextField(selected->next->type)) return selected->info->getKey(result);

    // A run of text fields is walked straight through: each runs its edit
    // loop in turn, until the run ends, a field was left with ESC (which
    // switches the browser to Global mode) or with a key the key handler is
    // to act on. The key handler then moves the focus one entry further.
    while (isTextField(selected->next->type) && !inGlobalMode() && !(mode != nullptr && mode->keyPending())) {
        selected = selected->next;
        selected->info->select();
    }
    return result;
}

void ActiveSerialTable::startSelect() {
    if (count == 0) return;
    activateSelected();
    // A text box's edit loop ends with the Tab that left it; the key handler
    // has to process that Tab next. (A password field is not treated so.)
    // A box left with a key the handler acts on has that key processed.
    if (selected->type == TEXTBOX && mode != nullptr && !mode->keyPending()) mode->takeTabNext();
}

void ActiveSerialTable::setSelect() {
    selected = head;
}

Component* ActiveSerialTable::componentAhead(short steps) const {
    if (count == 0) return nullptr;
    const ASTNode* node = selected;
    for (short i = 0; i < steps % count; ++i) node = node->next;
    return node->info;
}

void ActiveSerialTable::resetAST() {
    if (count == 0) return;
    releaseNodes();
    if (lists != nullptr) lists->resetLists();
}

bool ActiveSerialTable::inGlobalMode() const {
    return mode == nullptr || mode->inGlobalMode();
}

void ActiveSerialTable::releaseNodes() {
    ASTNode* node = head;
    for (short i = 0; i < count && node != nullptr; ++i) {
        ASTNode* passed = node;
        node = node->next;
        delete passed;
    }
    head = tail = selected = nullptr;
    count = 0;
}
