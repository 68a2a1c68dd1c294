// The text and HTML reports of the two lists in their four layouts, built without any
// window from the entries of a selection (common/Reports.h). The frames' save and e-mail
// commands and the command-line companion write them.
#pragma once

#include "common/Reports.h"

#include <QByteArray>

namespace Reports {

// The whole report as the bytes of its file: CR LF line ends, no byte order mark. The text
// report is UTF-8; the HTML report is ASCII with every other character written as a
// numeric character reference.
QByteArray TextReport(ListKind kind, const Entries &entries, const Stamp &stamp);
QByteArray HtmlReport(ListKind kind, const Entries &entries, const Stamp &stamp);
QByteArray Report(ListKind kind, Format format, const Entries &entries, const Stamp &stamp);

} // namespace Reports
