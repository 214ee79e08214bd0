// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/form.h"
Form::Form(const char*) {}
Form::Form(const Form&) {}
Form& Form::operator=(const Form&) { return *this; }
Form::~Form() {}
void Form::updateMemberList(short) {}
int Form::submit() { return 0; }
void Form::reset() {}
void Form::clearMembers() {}
