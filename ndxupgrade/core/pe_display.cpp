#include "pe_display.h"

namespace ndx {
namespace {

struct PeRate {
    int pe;
    const char* text;
};

const PeRate kPeRates[] = {
    {33, "33 (4Mpbs)"},  {34, "34 (6Mpbs)"},  {35, "35 (8Mpbs)"},  {36, "36 (10Mpbs)"},
    {37, "37 (12Mpbs)"}, {38, "38 (14Mpbs)"}, {39, "39 (16Mpbs)"}, {41, "41 (8Mpbs)"},
    {42, "42 (12Mpbs)"}, {43, "43 (16Mpbs)"}, {44, "44 (20Mpbs)"}, {45, "45 (24Mpbs)"},
    {46, "46 (28Mpbs)"}, {47, "47 (32Mpbs)"}, {49, "49 (16Mpbs)"}, {50, "50 (24Mpbs)"},
    {51, "51 (32Mpbs)"}, {52, "52 (40Mpbs)"}, {53, "53 (48Mpbs)"}, {54, "54 (56Mpbs)"},
    {55, "55 (64Mpbs)"}, {57, "57 (32Mpbs)"}, {58, "58 (48Mpbs)"}, {59, "59 (64Mpbs)"},
    {60, "60 (80Mpbs)"}, {61, "61 (96Mpbs)"}, {62, "62 (112Mpbs)"}, {63, "63 (128Mpbs)"},
};

}  // namespace

std::string peDisplayText(int pe)
{
    for (const PeRate& r : kPeRates)
        if (r.pe == pe) return r.text;
    return std::to_string(pe) + " (undefined)";
}

}  // namespace ndx
