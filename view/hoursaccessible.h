#pragma once

class QAccessibleInterface;
class QWidget;

// What a screen reader is told of the curve of the coming hours (a
// HoursCurve): a table of the hours shown under four headers, each row
// headed by its hour, the highlighted hour its focused and selected row.
QAccessibleInterface *hoursTableAccessible(QWidget *curve);
