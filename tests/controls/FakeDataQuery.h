#pragma once
// An in-memory stand-in for the store's query object, used by the grid tests until they can run
// against a real database file. It keeps the same contract: pending rows, current row, signals.

#include "store/DataQuery.h"

#include <QList>
#include <QStringList>
#include <QVariant>

namespace kvt::test {

/// Makes `statement` return these rows when a query opens it. A column whose first value is a
/// number holds numbers.
void SetFakeResult(const QString& statement, const QStringList& names, const QList<QVariantList>& rows);

} // namespace kvt::test
