#pragma once

class QWidget;

// How the board shows itself to screen readers, beyond what its labels say
// of themselves (platform/formaccessible.h):
//  - the city grid is a table of 24 rows under its six column headers, each
//    cell said with its unit and each row's city cell a row header, the
//    city cells pressable like a click;
//  - the ticker strip is a status bar whose name is the whole ticker text;
//  - the wind compass is one graphic named after the wind it shows, its
//    lines and letters no objects of their own;
//  - the window and the detail panel show their controls without the boxes
//    and lines that only decorate them.
// Installed once, before the first control is asked for: the window installs
// it before it makes its parts (the parts know nothing of it), and calling
// it again does nothing.
void installBoardAccessibility();

// The widget's decorations (boxes and lines) are left out of what screen
// readers see of it. For the window; the detail panel does it itself.
void hideDecorationsFromScreenReaders(QWidget *container);
