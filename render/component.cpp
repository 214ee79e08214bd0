#include "render/component.h"

int Component::getKey(int key) {
    return key;
}
void Component::setXY(short, int) {}
void Component::select() {}
void Component::unselect() const {}
short Component::getLength() const {
    return 0;
}
int Component::getRow() const {
    return 0;
}
const char* Component::getRepresentation() {
    return nullptr;
}
int Component::setScreenRow(int row) {
    return row + 1;
}
void Component::display() const {}
void Component::reset() {}
const char* Component::valueOf() const {
    return "COMPONENT-Class-object";
}
const char* Component::nameOf() const {
    return "ComponentClass-value";
}
