#include "controls/radiolist.h"

#include <cctype>
#include <climits>

#include "common/check.h"

namespace {

std::string groupKey(const char* name) {
    std::string key;
    for (const char* c = name != nullptr ? name : ""; *c != '\0'; ++c)
        key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*c))));
    return key;
}

}  // namespace

short RadioList::addElement(const Radio& radio) {
    if (count == SHRT_MAX) return 0;
    auto* node = new RadioListNode();
    node->element = radio;
    if (first == nullptr) {
        first = last = node;
        node->next = node->prev = node;
    } else {
        // The first node's prev keeps pointing at itself.
        node->next = first;
        node->prev = last;
        last->next = node;
        last = node;
    }
    index_.push_back(node);
    ++count;
    attachInGroup();
    return count;
}

void RadioList::attachInGroup() {
    Radio& fresh = last->element;
    // nameOf is null for an empty name; buttons without NAME form one group.
    const std::string key = groupKey(fresh.nameOf());
    auto found = newestOfGroup_.find(key);
    if (found == newestOfGroup_.end()) {
        fresh.nextInGroup = fresh.prevInGroup = &fresh;
    } else {
        Radio* before = found->second;
        fresh.nextInGroup = before->nextInGroup;
        fresh.prevInGroup = before;
        before->nextInGroup->prevInGroup = &fresh;
        before->nextInGroup = &fresh;
    }
    newestOfGroup_[key] = &fresh;
}

Radio* RadioList::getReferenceOf(short index) {
    WEXA_CHECK(first != nullptr, "ptr != __null");
    if (index < 0) return &first->element;
    return &index_[static_cast<std::size_t>(index % count)]->element;
}

void RadioList::resetList() {
    if (first != nullptr) {
        RadioListNode* node = first;
        while (node != last) {
            RadioListNode* passed = node;
            node = node->next;
            delete passed;
        }
        delete last;
    }
    first = last = nullptr;
    count = 0;
    index_.clear();
    newestOfGroup_.clear();
}
