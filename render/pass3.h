#pragma once
// Pass three for one page: lays the page stream of `fileName` (pass2.tmp in
// the page cycle) out into the rendering engine's page buffer, draws the
// frame and status line, has every active element of the table draw itself
// at its recorded position and shows the top of the page.

class ActiveSerialTable;
class Rendering_Engine;

void runPassThree(const char* fileName, Rendering_Engine& renderer, const ActiveSerialTable& table);
