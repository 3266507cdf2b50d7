#include "tools/sim_standin/iracing_session_text.h"

#include <array>
#include <cstdio>
#include <sstream>

namespace iRacing {

namespace {

constexpr std::array<const char*, 12> first_names{"Alex",  "Maria", "Jonas", "Priya", "Tomas", "Ines",
                                                  "Kenji", "Sofia", "Liam",  "Noor",  "Pavel", "Greta"};
constexpr std::array<const char*, 10> last_names{"Novak",  "Lindqvist", "Okafor", "Moreau", "Santos",
                                                 "Keller", "Tanaka",    "Rossi",  "Haddad", "Brennan"};
constexpr std::array<const char*, 4> car_models{"Stand-in GT3", "Stand-in GT4", "Stand-in Prototype",
                                                "Stand-in Touring"};

// Keeps the field between 16 and 40 cars and changes it by a different
// amount each update, shrinking about every other time.
int driver_count(std::int32_t update) {
  const std::uint32_t u = static_cast<std::uint32_t>(update);
  return 16 + static_cast<int>((u * 7u + (u / 3u) * 5u) % 25u);
}

std::string lap_time(double seconds) {
  const int minutes = static_cast<int>(seconds / 60.0);
  char text[32];
  std::snprintf(text, sizeof text, "%d:%06.3f", minutes, seconds - minutes * 60.0);
  return text;
}

}  // namespace

std::string standin_session_text(std::int32_t update) {
  const int drivers = driver_count(update);
  const std::uint32_t u = static_cast<std::uint32_t>(update);
  std::ostringstream out;

  out << "---\n"
      << "Event:\n"
      << " TrackName: standin_ring\n"
      << " TrackDisplayName: Stand-in Ring\n"
      << " TrackConfiguration: Grand Prix\n"
      << " TrackLength: 4.65 km\n"
      << " TrackTurns: 12\n"
      << " TrackCity: Nowhere\n"
      << " TrackCountry: Nowhere\n"
      << " TrackAltitude: 312.00 m\n"
      << " TrackSkies: Partly Cloudy\n"
      << " TrackAirTemp: " << 21 + static_cast<int>(u % 4) << ".50 C\n"
      << " TrackSurfaceTemp: " << 30 + static_cast<int>(u % 6) << ".25 C\n"
      << " TrackWindSpeed: 3.10 m/s\n"
      << " EventType: Race\n"
      << " Official: 0\n"
      << " TeamRacing: 0\n"
      << " NumCarClasses: 1\n"
      << " TextUpdate: " << update << "\n"
      << "\n";

  out << "Sessions:\n";
  const char* const kinds[] = {"Practice", "Qualify", "Race"};
  for (int session = 0; session < 3; ++session) {
    out << " - SessionNumber: " << session << "\n"
        << "   SessionType: " << kinds[session] << "\n"
        << "   SessionLaps: " << (session == 2 ? "30" : "unlimited") << "\n"
        << "   SessionTime: " << (session == 2 ? "unlimited" : "1800.0000 sec") << "\n"
        << "   ResultsPositions:\n";
    // Practice and qualifying are over; the race order reshuffles a little
    // with every update.
    const int shown = session == 2 ? drivers / 2 : drivers;
    for (int position = 1; position <= shown; ++position) {
      const int car = (position * 7 + (session == 2 ? static_cast<int>(u) : session * 3)) % drivers;
      out << "   - Position: " << position << "\n"
          << "     CarIndex: " << car << "\n"
          << "     FastestTime: " << lap_time(101.998 + position * 0.173 + (u % 5) * 0.011) << "\n"
          << "     LapsComplete: " << (session == 2 ? static_cast<int>(u % 30) : 14 + car % 6) << "\n";
    }
  }
  out << "\n";

  out << "Drivers:\n"
      << " PlayerCarIndex: 5\n"
      << " Cars:\n";
  for (int car = 0; car < drivers; ++car) {
    const char* first = first_names[static_cast<std::size_t>(car) % first_names.size()];
    const char* last = last_names[static_cast<std::size_t>(car * 3 + 1) % last_names.size()];
    out << " - CarIndex: " << car << "\n"
        << "   UserName: " << first << " " << last << "\n"
        << "   Initials: " << first[0] << last[0] << "\n"
        << "   UserID: " << 100000 + car * 7919 << "\n"
        << "   TeamName: " << last << " Racing\n"
        << "   CarNumber: \"" << (car * 13 + 2) % 100 << "\"\n"
        << "   CarModel: " << car_models[static_cast<std::size_t>(car) % car_models.size()] << "\n"
        << "   CarClassID: 1\n"
        << "   Rating: " << 1500 + (car * 173 + static_cast<int>(u) * 11) % 3500 << "\n"
        << "   Licence: " << "ABCD"[car % 4] << " " << 1 + car % 4 << "." << (car * 37) % 100 << "\n"
        << "   IsSpectator: 0\n";
  }

  out << "\n"
      << "Splits:\n"
      << " Sectors:\n"
      << " - SectorNum: 0\n"
      << "   SectorStartPct: 0.000000\n"
      << " - SectorNum: 1\n"
      << "   SectorStartPct: 0.331200\n"
      << " - SectorNum: 2\n"
      << "   SectorStartPct: 0.684500\n"
      << "...\n";
  return out.str();
}

}  // namespace iRacing
