// PLACEHOLDER (being written): empty bodies so the tree links.
#include "render/Rendering_Engine.h"
Rendering_Engine::Rendering_Engine() {}
Rendering_Engine::~Rendering_Engine() {}
bool Rendering_Engine::createPad() { return false; }
void Rendering_Engine::acceptToken(const char*, short) {}
void Rendering_Engine::toTempBuffer(bool, const char*, short) {}
void Rendering_Engine::toTempBuffer(char) {}
void Rendering_Engine::toDoubleBuffer() {}
void Rendering_Engine::setActiveE_Position(short, short) {}
void Rendering_Engine::updateActiveE_Position(short) {}
void Rendering_Engine::writeToDB(short, short, const char*, short) {}
void Rendering_Engine::scrollText(short) {}
void Rendering_Engine::scrollNext_aE() {}
void Rendering_Engine::browserWindow() {}
void Rendering_Engine::write_helpString(const char*) {}
void Rendering_Engine::reset() {}
short getLength() { return 0; }
