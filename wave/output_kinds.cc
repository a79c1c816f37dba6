#include "wave/output_kinds.h"

const OutputKindRow& output_kind_row(OutputKind kind) {
  for (const OutputKindRow& row : kOutputKindRows) {
    if (row.kind == kind) return row;
  }
  return kOutputKindRows.front();  // every kind has its row: the table is checked by the tests
}

const OutputFormatRow& output_format_row(OutputFormat format) {
  for (const OutputFormatRow& row : kOutputFormatRows) {
    if (row.format == format) return row;
  }
  return kOutputFormatRows.front();
}
