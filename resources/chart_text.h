#pragma once

#include <QString>

namespace kqc {

// The chart's column headers in a line, e.g. "Codec, Sampling rate (kHz), ...".
QString codecChartHeaders();

// The chart's content as text, one line per row group, in the chart's own words:
// "Codec: ADPCM (G.721); Sampling rate (kHz): 8; ...; Formats: wav, raw, au". Entries of a cell
// are separated by ", " (by a blank after an entry that ends in a colon), a line that wraps in
// the picture is joined with a blank, and empty cells are left out.
QString codecChartText();

}  // namespace kqc
