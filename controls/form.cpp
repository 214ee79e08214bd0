#include "controls/form.h"

#include <strings.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/bounded.h"
#include "common/check.h"
#include "controls/attributes.h"
#include "controls/host.h"
#include "net/network.h"
#include "render/ast.h"
#include "screen/messages.h"

namespace {

constexpr const char* HTTP_PREFIX = "http://";

// The nodes of the active element table in order, so that members are found
// by position without walking the ring once per member.
std::vector<ASTNode*> tableNodes() {
    std::vector<ASTNode*> nodes;
    ASTNode* head = hostTable().getPointerToAST();
    ASTNode* node = head;
    while (node != nullptr) {
        nodes.push_back(node);
        node = node->next;
        if (node == head) break;
    }
    return nodes;
}

// The node at a member's position, or null when the position lies outside
// the table.
ASTNode* nodeAt(const std::vector<ASTNode*>& nodes, short index) {
    if (index < 0 || static_cast<std::size_t>(index) >= nodes.size()) return nullptr;
    return nodes[static_cast<std::size_t>(index)];
}

}  // namespace

Form::Form(const char* tagText) {
    AttributeScan scan(tagText);
    while (scan.next()) {
        if (scan.is("NAME"))
            scan.copyValue(name);
        else if (scan.is("ACTION"))
            scan.copyValue(action);
        else if (scan.is("METHOD"))
            scan.copyValue(method);
    }
}

Form::Form(const Form& other) : memberCount(other.memberCount) {
    wexa::boundedCopy(name, other.name);
    wexa::boundedCopy(method, other.method);
    wexa::boundedCopy(action, other.action);
    copyMembers(other.members);
}

Form& Form::operator=(const Form& other) {
    if (this == &other) return *this;
    clearMembers();
    wexa::boundedCopy(name, other.name);
    wexa::boundedCopy(method, other.method);
    wexa::boundedCopy(action, other.action);
    memberCount = other.memberCount;
    copyMembers(other.members);
    return *this;
}

Form::~Form() {
    clearMembers();
}

void Form::clearMembers() {
    while (members != nullptr) {
        Member* passed = members;
        members = members->next;
        delete passed;
    }
    memberCount = 0;
}

void Form::copyMembers(const Member* from) {
    Member** tail = &members;
    for (; from != nullptr; from = from->next) {
        *tail = new Member{from->index, nullptr};
        tail = &(*tail)->next;
    }
}

void Form::updateMemberList(short index) {
    // The count is a short; a page cannot register more controls than that.
    if (memberCount == SHRT_MAX) return;
    members = new Member{index, members};
    ++memberCount;
}

int Form::submit() {
    // The prefix is added to the stored action, once, when the form is sent;
    // an action that would not fit with it is sent as it is.
    char sentAction[sizeof action];
    wexa::boundedCopy(sentAction, action);
    const std::size_t prefixLength = std::strlen(HTTP_PREFIX);
    if (std::strncmp(action, HTTP_PREFIX, prefixLength) != 0 &&
        std::strlen(action) + prefixLength < sizeof action) {
        wexa::boundedCopy(sentAction, HTTP_PREFIX);
        wexa::boundedAppend(sentAction, action);
    }

    // Members whose position leads nowhere in the table are skipped, and so
    // are those without a name or a value.
    const std::vector<ASTNode*> nodes = tableNodes();
    std::vector<Network::Field> fields;
    for (const Member* m = members; m != nullptr; m = m->next) {
        const ASTNode* node = nodeAt(nodes, m->index);
        if (node == nullptr || node->info == nullptr) continue;
        if (node->info->nameOf() != nullptr && node->info->valueOf() != nullptr)
            fields.emplace_back(node->info->nameOf(), node->info->valueOf());
    }

    if (!hostNetwork().sendForm(strcasecmp(method, "POST") == 0, sentAction, fields)) {
        hostMessages().showErrorMessage("Connection failed with WexaPServer", false);
        return 0;
    }
    wexa::boundedCopy(action, sentAction);
    return 1;
}

void Form::reset() {
    const std::vector<ASTNode*> nodes = tableNodes();
    for (const Member* m = members; m != nullptr; m = m->next) {
        ASTNode* astPtr = nodeAt(nodes, m->index);
        WEXA_CHECK(astPtr != nullptr, "astPtr !=__null");
        WEXA_CHECK(astPtr->info != nullptr, "astPtr->info != __null");
        astPtr->info->reset();
    }
}
