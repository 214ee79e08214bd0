#pragma once
// The fourteen colour pairs of the browser, defined at start-up.

void initColours();
