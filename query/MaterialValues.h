#pragma once
// The rows of the materials (材料) and offcuts (余料) editors as typed, checked before a save,
// without any window. Every refusal names the row and the field.

#include "cutting/Cutting.h"

#include <QString>
#include <QStringList>

namespace kvt {

/// A length in mm as typed ("6000", "4.5", "-1") in tenths of a millimetre; false for anything
/// else, a second decimal included.
bool ParseTenths(const QString& text, cutting::Length* tenths);

struct MaterialValues {
    QString name;        ///< 材料名称
    QString stockLength; ///< 原料长度
    QString kerf;        ///< 锯缝
    QString trim;        ///< 端头余量
    QString minOffcut;   ///< 最短余料
};

/// Why the row cannot be saved, or empty: an empty name; a length that is not a number of at most
/// one decimal; a stock length not larger than 0 or than two trims; a negative kerf, trim or
/// shortest offcut.
QString MaterialProblem(const MaterialValues& values);
/// The field MaterialProblem names, for the cursor ("" when none).
QString MaterialProblemField(const MaterialValues& values);

struct OffcutValues {
    QString material; ///< 材料名称
    QString length;   ///< 长度
};

/// Why the row cannot be saved, or empty: a material not among materials, a length that is not a
/// positive number of at most one decimal.
QString OffcutProblem(const OffcutValues& values, const QStringList& materials);
QString OffcutProblemField(const OffcutValues& values, const QStringList& materials);

} // namespace kvt
