// PLACEHOLDER (being written): empty bodies so the tree links.
#include "render/Pass3_Tokenizer.h"
Pass3_Tokenizer::Pass3_Tokenizer() : delimiters{} {}
bool Pass3_Tokenizer::ifDelimiter(char) const { return false; }
void Pass3_Tokenizer::findToken(const char*) {}
