#pragma once
// ActiveSerialTable: the active elements of the current page (links and form
// controls) in page order, as a ring, with the entry that has the focus.
// The components themselves are owned by their lists; the table owns only
// its nodes.

#include "render/component.h"
#include "render/keymode.h"

// The lists that own the page's elements, as the table reaches them: the
// element at a position of the list of one kind, and emptying them all when
// the page is forgotten. The controls' page lists implement it.
class ElementLists {
public:
    virtual ~ElementLists() = default;
    // The element at 0-based index of the list of type, or null when that
    // list is empty.
    virtual Component* elementAt(ActiveTypes type, short index) = 0;
    // Empties every list of the page (the forms included).
    virtual void resetLists() = 0;
};

struct ASTNode {
    ActiveTypes type = CHECKBOX;
    Component* info = nullptr;  // never null in a node of the table
    ASTNode* next = nullptr;
};

class ActiveSerialTable {
public:
    ActiveSerialTable() = default;
    ~ActiveSerialTable();
    ActiveSerialTable(const ActiveSerialTable&) = delete;
    ActiveSerialTable& operator=(const ActiveSerialTable&) = delete;

    // The lists whose elements addElement registers and resetAST empties,
    // and the key handler's mode; the shell connects them once at start-up.
    void connect(ElementLists& lists, KeyMode& mode);

    // Registers the element at 0-based `index` of the list of `type`;
    // returns the new count (the entry's serial number), or -1 for a kind
    // the table does not take (IMAGE, out of range) or an empty list.
    short addElement(ActiveTypes type, short index);
    // Registers a component directly (what addElement does after its lookup).
    short addComponent(ActiveTypes type, Component* component);

    void moveNext(bool activate);
    // Moves the focus to the previous entry of the ring (from the first to
    // the last), drawing the element that had it unfocused.
    void movePrev();
    // Moves the focus to node (an entry of this table), drawing the element
    // that had it unfocused. A text field runs its edit loop; when it is
    // left with Tab, the key handler is told to process that Tab.
    void moveTo(ASTNode* node);
    // Draws the focused element unfocused; the selection stays.
    void leaveFocus();
    // The first entry in page order whose element lies on pageRow or below,
    // or null.
    ASTNode* firstFrom(int pageRow) const;
    // Makes the first entry on pageRow or below (the first entry when there
    // is none) the selected one, without giving it the focus (startSelect
    // does that).
    void selectFrom(int pageRow);
    // The operations on the selected element do nothing (or give 0) while the
    // table is empty.
    void storeXY(short x, int y);
    short getLength() const;
    int getRow() const;
    ActiveTypes getType() const;
    void screenRow(short row);
    int getKey(int key);
    void startSelect();
    void setSelect();
    ASTNode* getPointerToAST() const { return head; }
    void resetAST();
    short getCount() const { return count; }
    ASTNode* getSelected() const { return selected; }
    // The component `steps` entries after the selected one, without moving
    // the selection (null while the table is empty). The rendering engine
    // uses it for the elements of a centred line whose positions wait for
    // the line's end while the selection still stands on the first of them.
    Component* componentAhead(short steps) const;

private:
    void releaseNodes();
    // Gives the focus to the selected entry (the drop-down list its focus
    // key, any other element select()).
    void activateSelected();
    // The key handler's mode; Global when no handler is connected.
    bool inGlobalMode() const;

    ASTNode* head = nullptr;
    ASTNode* tail = nullptr;
    ASTNode* selected = nullptr;
    short count = 0;
    ElementLists* lists = nullptr;
    KeyMode* mode = nullptr;
};
