#include "tools/sim_standin/iracing_field.h"

#include <array>

namespace vove::iracing {

namespace {

// Invented drivers and cars.
constexpr std::array<StandinEntry, 12> entries{{
    {0, "Pace Car", "", "", -1, "0", "safety car", "safety car", "", true, 0, "R 0.00", 0.0},
    {1, "Marta Kowal", "Kowal, M", "MK", 700101, "17", "Vantor GT3 Evo", "Vantor GT3", "GT3", false, 2345, "B 3.21",
     1.004},
    {3, "Theo Lindqvist", "Lindqvist, T", "TL", 700303, "8", "Vantor GT3 Evo", "Vantor GT3", "GT3", false, 3120,
     "A 2.05", 0.997},
    {4, "Ines Okafor", "Okafor, I", "IO", 700404, "21", "Kestrel RS GT3", "Kestrel GT3", "GT3", false, 1980, "C 2.77",
     1.011},
    {5, "Sam Player", "Player, S", "SP", 700505, "42", "Vantor GT3 Evo", "Vantor GT3", "GT3", false, 2650, "A 3.10",
     1.0},
    {6, "Kenji Tanaka", "Tanaka, K", "KT", 700606, "3", "Kestrel RS GT3", "Kestrel GT3", "GT3", false, 2870, "A 4.01",
     1.002},
    {7, "Noor Haddad", "Haddad, N", "NH", 700707, "64", "Marlin 911 GT3 R", "Marlin GT3 R", "GT3", false, 1745,
     "D 1.88", 1.019},
    {9, "Pavel Santos", "Santos, P", "PS", 700909, "9", "Marlin 911 GT3 R", "Marlin GT3 R", "GT3", false, 2210,
     "B 2.50", 1.008},
    {10, "Greta Moreau", "Moreau, G", "GM", 701010, "11", "Vantor GT3 Evo", "Vantor GT3", "GT3", false, 3305, "A 4.44",
     0.994},
    {12, "Liam Brennan", "Brennan, L", "LB", 701212, "77", "Kestrel RS GT3", "Kestrel GT3", "GT3", false, 1420,
     "C 1.02", 1.026},
    {14, "Sofia Rossi", "Rossi, S", "SR", 701414, "5", "Marlin 911 GT3 R", "Marlin GT3 R", "GT3", false, 2555, "B 3.66",
     1.006},
    {15, "Alex Keller", "Keller, A", "AK", 701515, "90", "Vantor GT3 Evo", "Vantor GT3", "GT3", false, 2005, "C 3.03",
     1.014},
}};

}  // namespace

std::span<const StandinEntry> standin_entries() noexcept { return entries; }

}  // namespace vove::iracing
