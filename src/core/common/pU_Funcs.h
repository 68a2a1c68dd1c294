// Small helpers shared by every module that need no widgets: line flattening, the
// program's date-time numbers, row keys and the two query helpers.
#pragma once

#include "TasklumeError.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

// Every line feed and then every carriage return becomes one blank (so CR LF gives two).
QString FlattenLines(const QString &text);

// Date-times are local wall-clock times held as days since 1899-12-30 00:00, the fraction
// being the time of day; 0 stands for no value.
using TDateTime = double;
TDateTime DateTimeToDays(const QDateTime &dateTime);
QDateTime DaysToDateTime(TDateTime days);
TDateTime NowDays();

// A date in the user's short date format.
QString FormatDate(TDateTime days);
// A date and time: short date, a blank and the long time format (without a time-zone
// part); the time is left out when it is exactly midnight.
QString FormatDateTime(TDateTime days);
// The long time format of the user's locale without its time-zone part.
QString LongTimeFormat();

// A fresh row key: a random GUID in its 38-character brace form, upper-case digits.
QString NewRowKey();

// Runs one statement with its bound values and leaves the query positioned before the
// first row. Throws TasklumeError with the engine's text on failure.
void OpenSql(QSqlQuery &query, const QString &statement, const QVariantList &values = {});
// Runs one statement that returns no rows. Throws TasklumeError on failure.
void ExecSql(QSqlQuery &query, const QString &statement, const QVariantList &values = {});

// The process-wide generator behind the status bar tips: seed 0 at start, advanced by
// seed * 134775813 + 1 modulo 2^32; returns a value in [0, range).
int NextRandom(int range);
void ResetRandomSeed(quint32 seed = 0);
