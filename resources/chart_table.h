#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace kqc::chart {

constexpr int kWidth = 690;
constexpr int kHeight = 779;
constexpr int kColumnCount = 6;

// Left edge of each column's text.
constexpr std::array<int, kColumnCount> kColumnLeft = {10, 133, 220, 308, 389, 625};
// Right edge available to the last column's text.
constexpr int kTextRight = 686;

constexpr int kHeaderTop = 7;
// The rule under the header: two rows of solid black.
constexpr int kRuleTop = 38;
constexpr int kRuleThickness = 2;
constexpr int kRuleLeft = 4;
constexpr int kRuleRight = 686;

// Distance between the tops of two lines in a cell, and between the last line of one
// paragraph and the first of the next.
constexpr double kLinePitch = 15.5;
constexpr double kParagraphPitch = 20.0;

// A paragraph lists its entries one below the other; '\n' marks where a long entry wraps onto
// the next line. Two paragraphs in a cell stand a little further apart.
using Paragraph = QStringList;
using Cell = std::vector<Paragraph>;

struct Row {
    int top;  // where the ink of the row group's first line begins
    std::array<Cell, kColumnCount> cells;
};

// Headers print in bold; the second and third break after their first word.
inline const std::array<QString, kColumnCount> kHeaders = {
    "Codec", "Sampling\nrate (kHz)", "Resolution\n(bits)", "Channels", "Bit Rate (kbps)", "Formats",
};

inline const std::vector<Row> kRows = {
    {47,
     {Cell{{"ADPCM (G.721)"}}, Cell{{"8"}}, Cell{{"4"}}, Cell{{"Mono"}}, Cell{{"32"}},
      Cell{{"wav", "raw", "au"}}}},
    {98,
     {Cell{{"ADPCM (G.723)"}}, Cell{{"8"}}, Cell{{"3"}}, Cell{{"Mono"}}, Cell{{"24"}},
      Cell{{"wav", "raw", "au"}}}},
    {149,
     {Cell{{"ADPCM (G.726)"}}, Cell{{"8"}}, Cell{{"2", "3", "4", "5"}}, Cell{{"Mono"}},
      Cell{{"16", "24", "32", "40"}}, Cell{{"wav", "raw"}}}},
    {216,
     {Cell{{"ADPCM (G.728)"}}, Cell{{"8"}}, Cell{{"8"}}, Cell{{"Mono"}}, Cell{},
      Cell{{"wav", "raw"}}}},
    {251,
     {Cell{{"AAC-LC"}}, Cell{{"22.05", "44.1", "48"}}, Cell{}, Cell{{"Mono", "Stereo"}},
      Cell{{"Minimum:", "16kbps in mono", "32 kbps in stereo"},
           {"Maximum:", "132.3kbps at 22.05kHz", "264.6kbps at 44.1kHz", "288kbps at 48kHz"}},
      Cell{{"mp4"}}}},
    {369,
     {Cell{{"AMR-WB"}}, Cell{{"16"}}, Cell{}, Cell{{"Mono"}},
      Cell{{"6.6", "8.85", "12.65", "14.25", "15.85", "18.25", "19.85", "23.05", "23.85"}},
      Cell{{"mp4", "amr"}}}},
    {513,
     {Cell{{"G.711 (a-law)", "G.711 (u-law)"}}, Cell{{"8"}}, Cell{},
      Cell{{"Mono", "Stereo (au\nonly)"}}, Cell{{"64"}}, Cell{{"wav", "raw", "au"}}}},
    {564,
     {Cell{{"MP3 (input only)"}}, Cell{}, Cell{}, Cell{{"Mono", "Stereo"}},
      Cell{{"32", "64", "96", "128", "192 (both average and constant rates\nare supported)"}},
      Cell{{"mp3"}}}},
    {663,
     {Cell{{"PCM WAV"}}, Cell{{"8 (au only)", "22.05", "44.1", "48"}}, Cell{{"8", "16"}},
      Cell{{"Mono", "Stereo"}}, Cell{}, Cell{{"wav", "au"}}}},
    {729,
     {Cell{{"WMA"}}, Cell{{"8-48"}}, Cell{{"8", "16"}}, Cell{{"Mono", "Stereo"}},
      Cell{{"Input: wma7, wma8, wma9"},
           {"Output: wma9 with 48khz sampling\nrate, 16bits per sample and Stereo."}},
      Cell{}}},
};

}  // namespace kqc::chart
