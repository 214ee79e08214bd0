#pragma once
// Pass three for one page: lays the page stream of `fileName` (pass2.tmp in
// the page cycle) out into the page buffer, draws the frame and status line,
// has every active element draw itself at its recorded position and shows
// the top of the page.

void runPassThree(const char* fileName);
