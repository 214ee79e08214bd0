// PLACEHOLDER (being written): empty bodies so the tree links.
#include "render/ast.h"
ActiveSerialTable::~ActiveSerialTable() {}
short ActiveSerialTable::addElement(ActiveTypes, short) { return -1; }
short ActiveSerialTable::addComponent(ActiveTypes, Component*) { return -1; }
void ActiveSerialTable::moveNext(bool) {}
void ActiveSerialTable::storeXY(short, short) {}
short ActiveSerialTable::getLength() const { return 0; }
short ActiveSerialTable::getRow() const { return 0; }
ActiveTypes ActiveSerialTable::getType() const { return CHECKBOX; }
void ActiveSerialTable::screenRow(short) {}
int ActiveSerialTable::getKey(int key) { return key; }
void ActiveSerialTable::startSelect() {}
void ActiveSerialTable::setSelect() {}
void ActiveSerialTable::resetAST() {}
void ActiveSerialTable::releaseNodes() {}
