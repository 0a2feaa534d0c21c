#pragma once
// The user's choice of another language in the start page's list.

// Switches the installer to the language, tells the user when the installer
// itself has no texts in it (the product is still installed in it), and
// re-translates every window of the wizard.
void change_language(unsigned index);
