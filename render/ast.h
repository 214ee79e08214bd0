#pragma once
// ActiveSerialTable: the active elements of the current page (links and form
// controls) in page order, as a ring, with the entry that has the focus.
// The components themselves are owned by their lists; the table owns only
// its nodes.

#include "controls/component.h"

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

    // Registers the element at 0-based `index` of the list of `type` (looked
    // up in GlobalNamespace); returns the new count (the entry's serial
    // number), or -1 for a kind the table does not take (IMAGE, out of range).
    short addElement(ActiveTypes type, short index);
    // Registers a component directly (what addElement does after its lookup).
    short addComponent(ActiveTypes type, Component* component);

    void moveNext(bool activate);
    // The operations on the selected element do nothing (or give 0) while the
    // table is empty.
    void storeXY(short x, short y);
    short getLength() const;
    short getRow() const;
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

    ASTNode* head = nullptr;
    ASTNode* tail = nullptr;
    ASTNode* selected = nullptr;
    short count = 0;
};
