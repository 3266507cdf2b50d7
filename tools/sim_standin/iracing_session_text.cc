#include "tools/sim_standin/iracing_session_text.h"

#include <cstdio>
#include <sstream>

#include "tools/sim_standin/iracing_field.h"

namespace vove::iracing {

namespace {

// Of the entries that drive (all but the pace car), how many have set a
// practice time by this update: it changes by a different amount each time
// and drops about every other time.
int timed_count(std::int32_t update, int drivers) {
  const std::uint32_t u = static_cast<std::uint32_t>(update);
  return 1 + static_cast<int>((u * 7u + (u / 3u) * 5u) % static_cast<std::uint32_t>(drivers));
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void write_weekend(std::ostringstream& out, std::int32_t update, double track_length_metres) {
  const std::uint32_t u = static_cast<std::uint32_t>(update);
  out << "---\n"
      << "WeekendInfo:\n"
      << " TrackName: harbourpoint gp\n"
      << " TrackID: 901\n"
      << " TrackLength: " << fixed(track_length_metres / 1000.0, 2) << " km\n"
      << " TrackLengthOfficial: " << fixed(track_length_metres / 1000.0, 2) << " km\n"
      << " TrackDisplayName: Harbour Point Motor Circuit\n"
      << " TrackDisplayShortName: Harbour Point\n"
      << " TrackConfigName: Grand Prix\n"
      << " TrackCity: Port Ashby\n"
      << " TrackCountry: New Zealand\n"
      << " TrackAltitude: 18.79 m\n"
      << " TrackLatitude: -36.850000 m\n"
      << " TrackLongitude: 174.760000 m\n"
      << " TrackNorthOffset: 0.0000 rad\n"
      << " TrackNumTurns: 6\n"
      << " TrackPitSpeedLimit: 60.00 kph\n"
      << " TrackType: road course\n"
      << " TrackDirection: neutral\n"
      << " TrackWeatherType: Static\n"
      << " TrackSkies: Partly Cloudy\n"
      << " TrackSurfaceTemp: " << 30 + static_cast<int>(u % 6) << ".25 C\n"
      << " TrackAirTemp: " << 21 + static_cast<int>(u % 4) << ".50 C\n"
      << " TrackAirPressure: 29.86 Hg\n"
      << " TrackWindVel: 3.10 m/s\n"
      << " TrackWindDir: 1.60 rad\n"
      << " TrackRelativeHumidity: 55 %\n"
      << " TrackFogLevel: 0 %\n"
      << " TrackPrecipitation: 0 %\n"
      << " TrackCleanup: 1\n"
      << " TrackDynamicTrack: 1\n"
      << " TrackVersion: 2025.06.30.01\n"
      << " SeriesID: 0\n"
      << " SeasonID: 0\n"
      << " SessionID: 0\n"
      << " SubSessionID: 0\n"
      << " LeagueID: 0\n"
      << " Official: 0\n"
      << " RaceWeek: 0\n"
      << " EventType: Race\n"
      << " Category: Road\n"
      << " SimMode: full\n"
      << " TeamRacing: 0\n"
      << " MinDrivers: 0\n"
      << " MaxDrivers: 0\n"
      << " DCRuleSet: None\n"
      << " QualifierMustStartRace: 0\n"
      << " NumCarClasses: 1\n"
      << " NumCarTypes: 3\n"
      << " HeatRacing: 0\n"
      << " BuildType: Release\n"
      << " BuildTarget: Members\n"
      << " BuildVersion: 2025.07.01.02\n"
      << " WeekendOptions:\n"
      << "  NumStarters: " << standin_entries().size() - 1 << "\n"
      << "  StartingGrid: 2x2 inline pole on left\n"
      << "  QualifyScoring: best lap\n"
      << "  CourseCautions: off\n"
      << "  StandingStart: 0\n"
      << "  Restarts: double file lapped cars behind\n"
      << "  WeatherType: Static\n"
      << "  Skies: Partly Cloudy\n"
      << "  WindDirection: N\n"
      << "  WindSpeed: 11.16 km/h\n"
      << "  WeatherTemp: 22.80 C\n"
      << "  RelativeHumidity: 55 %\n"
      << "  FogLevel: 0 %\n"
      // An unquoted value with a colon in it, as the simulator writes it.
      << "  TimeOfDay: 2:30 pm\n"
      << "  Date: 2025-03-14\n"
      << "  EarthRotationSpeedupFactor: 1\n"
      << "  Unofficial: 1\n"
      << "  CommercialMode: consumer\n"
      << "  NightMode: variable\n"
      << "  IsFixedSetup: 0\n"
      << "  StrictLapsChecking: default\n"
      << "  HasOpenRegistration: 0\n"
      << "  HardcoreLevel: 1\n"
      << "  NumJokerLaps: 0\n"
      << "  IncidentLimit: unlimited\n"
      << "  FastRepairsLimit: unlimited\n"
      << "  GreenWhiteCheckeredLimit: 0\n"
      << " TelemetryOptions:\n"
      << "  TelemetryDiskFile: \"\"\n"
      << "\n";
}

// One ResultsPositions item; every item carries the same keys.
void write_result(std::ostringstream& out, int position, const StandinEntry& entry, double fastest, int laps) {
  out << "   - Position: " << position << "\n"
      << "     ClassPosition: " << position - 1 << "\n"
      << "     CarIdx: " << entry.car_idx << "\n"
      << "     Lap: " << laps << "\n"
      << "     Time: " << fixed(fastest, 4) << "\n"
      << "     FastestLap: " << (laps > 1 ? 2 : 1) << "\n"
      << "     FastestTime: " << fixed(fastest, 4) << "\n"
      << "     LastTime: " << fixed(fastest + 0.412, 4) << "\n"
      << "     LapsLed: 0\n"
      << "     LapsComplete: " << laps << "\n"
      << "     JokerLapsComplete: 0\n"
      << "     LapsDriven: " << fixed(laps + 0.5, 3) << "\n"
      << "     Incidents: 0\n"
      << "     ReasonOutId: 0\n"
      << "     ReasonOutStr: Running\n";
}

void write_session(std::ostringstream& out, int number, const char* laps, double seconds, const char* type,
                   const char* name, const char* rubber) {
  out << " - SessionNum: " << number << "\n"
      << "   SessionLaps: " << laps << "\n"
      << "   SessionTime: " << fixed(seconds, 4) << " sec\n"
      << "   SessionNumLapsToAvg: 0\n"
      << "   SessionType: " << type << "\n"
      << "   SessionTrackRubberState: " << rubber << "\n"
      << "   SessionName: " << name << "\n"
      << "   SessionSubType: \n"
      << "   SessionSkipped: 0\n"
      << "   SessionRunGroupsUsed: 0\n"
      << "   SessionEnforceTireCompoundChange: 0\n"
      << "   ResultsPositions:\n";
}

void write_session_end(std::ostringstream& out, int fastest_car, double fastest) {
  out << "   ResultsFastestLap:\n"
      << "   - CarIdx: " << fastest_car << "\n"
      << "     FastestLap: " << (fastest_car == 255 ? 0 : 2) << "\n"
      << "     FastestTime: " << fixed(fastest, 4) << "\n"
      << "   ResultsAverageLapTime: -1.0000\n"
      << "   ResultsNumCautionFlags: 0\n"
      << "   ResultsNumCautionLaps: 0\n"
      << "   ResultsNumLeadChanges: 0\n"
      << "   ResultsLapsComplete: -1\n"
      << "   ResultsOfficial: 0\n";
}

void write_sessions(std::ostringstream& out, std::int32_t update) {
  const auto entries = standin_entries();
  const int drivers = static_cast<int>(entries.size()) - 1;
  const std::uint32_t u = static_cast<std::uint32_t>(update);
  out << "SessionInfo:\n"
      << " CurrentSessionNum: 0\n"
      << " Sessions:\n";
  // Practice is running: the cars that have set a time so far, in order of
  // the entries after the pace car.
  write_session(out, 0, "unlimited", 7200.0, "Practice", "PRACTICE", "moderate usage");
  const int timed = timed_count(update, drivers);
  for (int position = 1; position <= timed; ++position) {
    const StandinEntry& entry = entries[static_cast<std::size_t>(position)];
    write_result(out, position, entry, standin_lap_seconds * entry.pace + position * 0.013 + (u % 5) * 0.011,
                 3 + static_cast<int>(u % 7));
  }
  write_session_end(out, entries[1].car_idx, standin_lap_seconds * entries[1].pace);
  write_session(out, 1, "2", 600.0, "Lone Qualify", "QUALIFY", "carry over");
  write_session_end(out, 255, -1.0);
  write_session(out, 2, "40", 7200.0, "Race", "RACE", "carry over");
  write_session_end(out, 255, -1.0);
  out << "\n";
}

void write_cameras_and_radio(std::ostringstream& out) {
  out << "CameraInfo:\n"
      << " Groups:\n"
      << " - GroupNum: 1\n"
      << "   GroupName: Nose\n"
      << "   Cameras:\n"
      << "   - CameraNum: 1\n"
      << "     CameraName: CamNose\n"
      << " - GroupNum: 2\n"
      << "   GroupName: TV1\n"
      << "   Cameras:\n"
      << "   - CameraNum: 1\n"
      << "     CameraName: CamTV1_00\n"
      << "\n"
      << "RadioInfo:\n"
      << " SelectedRadioNum: 0\n"
      << " Radios:\n"
      << " - RadioNum: 0\n"
      << "   HopCount: 1\n"
      << "   NumFrequencies: 2\n"
      << "   TunedToFrequencyNum: 0\n"
      << "   ScanningIsOn: 1\n"
      << "   Frequencies:\n"
      << "   - FrequencyNum: 0\n"
      << "     FrequencyName: \"@ALLTEAMS\"\n"
      << "     Priority: 12\n"
      << "     CarIdx: -1\n"
      << "     EntryIdx: -1\n"
      << "     ClubID: 0\n"
      << "     CanScan: 1\n"
      << "     CanSquawk: 1\n"
      << "     Muted: 0\n"
      << "     IsMutable: 1\n"
      << "     IsDeletable: 0\n"
      << "   - FrequencyNum: 1\n"
      << "     FrequencyName: \"@DRIVERS\"\n"
      << "     Priority: 15\n"
      << "     CarIdx: -1\n"
      << "     EntryIdx: -1\n"
      << "     ClubID: 0\n"
      << "     CanScan: 1\n"
      << "     CanSquawk: 1\n"
      << "     Muted: 0\n"
      << "     IsMutable: 1\n"
      << "     IsDeletable: 0\n"
      << "\n";
}

void write_drivers(std::ostringstream& out) {
  const StandinEntry* player = nullptr;
  for (const StandinEntry& entry : standin_entries()) {
    if (entry.car_idx == standin_player_car_idx) player = &entry;
  }
  out << "DriverInfo:\n"
      << " DriverCarIdx: " << standin_player_car_idx << "\n"
      << " DriverUserID: " << (player != nullptr ? player->user_id : -1) << "\n"
      << " PaceCarIdx: 0\n"
      << " DriverHeadPosX: -0.019\n"
      << " DriverHeadPosY: 0.371\n"
      << " DriverHeadPosZ: 0.598\n"
      << " DriverCarIsElectric: 0\n"
      << " DriverCarIdleRPM: 1200.000\n"
      << " DriverCarRedLine: 8000.000\n"
      << " DriverCarEngCylinderCount: 6\n"
      << " DriverCarFuelKgPerLtr: 0.750\n"
      << " DriverCarFuelMaxLtr: 100.000\n"
      << " DriverCarMaxFuelPct: 1.000\n"
      << " DriverCarGearNumForward: " << standin_gear_ratios.size() << "\n"
      << " DriverCarGearNeutral: 1\n"
      << " DriverCarGearReverse: 1\n"
      << " DriverCarSLFirstRPM: 6800.000\n"
      << " DriverCarSLShiftRPM: " << fixed(standin_shift_rpm, 3) << "\n"
      << " DriverCarSLLastRPM: 7800.000\n"
      << " DriverCarSLBlinkRPM: 8000.000\n"
      << " DriverCarVersion: 2025.06.30.01\n"
      << " DriverPitTrkPct: 0.037756\n"
      << " DriverCarEstLapTime: " << fixed(standin_lap_seconds, 4) << "\n"
      << " DriverSetupName: baseline.sto\n"
      << " DriverSetupIsModified: 0\n"
      << " DriverSetupLoadTypeName: user\n"
      << " DriverSetupPassedTech: 1\n"
      << " DriverIncidentCount: 0\n"
      << " Drivers:\n";
  for (const StandinEntry& e : standin_entries()) {
    // Empty values keep the one space after the colon, as in real texts.
    out << " - CarIdx: " << e.car_idx << "\n"
        << "   UserName: " << e.user_name << "\n"
        << "   AbbrevName: " << e.abbrev_name << "\n"
        << "   Initials: " << e.initials << "\n"
        << "   UserID: " << e.user_id << "\n"
        << "   TeamID: 0\n"
        // Outside team events the team is the driver, but one team name
        // holds a '#', unquoted, as real texts have them.
        << "   TeamName: " << e.user_name << (e.car_idx == 9 ? " #9 Racing" : "") << "\n"
        << "   CarNumber: \"" << e.car_number << "\"\n"
        << "   CarNumberRaw: " << e.car_number << "\n"
        << "   CarPath: " << (e.pace_car ? "safety pcporsche911cup" : "standin gt3") << "\n"
        << "   CarClassID: " << (e.pace_car ? 11 : 4021) << "\n"
        << "   CarID: " << (e.pace_car ? 152 : 173) << "\n"
        << "   CarIsPaceCar: " << (e.pace_car ? 1 : 0) << "\n"
        << "   CarIsAI: 0\n"
        << "   CarIsElectric: 0\n"
        << "   CarScreenName: " << e.car_screen_name << "\n"
        << "   CarScreenNameShort: " << e.car_screen_name_short << "\n"
        << "   CarClassShortName: " << e.car_class_short_name << "\n"
        << "   CarClassRelSpeed: " << (e.pace_car ? 0 : 80) << "\n"
        << "   CarClassLicenseLevel: 0\n"
        << "   CarClassMaxFuelPct: 1.000 %\n"
        << "   CarClassWeightPenalty: 0.000 kg\n"
        << "   CarClassPowerAdjust: 0.000 %\n"
        << "   CarClassDryTireSetLimit: 0 %\n"
        << "   CarClassColor: 0xffffff\n"
        << "   CarClassEstLapTime: " << fixed(standin_lap_seconds, 4) << "\n"
        << "   IRating: " << e.irating << "\n"
        << "   LicLevel: " << (e.pace_car ? 1 : 17) << "\n"
        << "   LicSubLevel: " << (e.pace_car ? 0 : 321) << "\n"
        << "   LicString: " << e.licence << "\n"
        << "   LicColor: 0x0153db\n"
        << "   IsSpectator: 0\n"
        << "   CarDesignStr: 13,800000,000000,8f8f8f\n"
        << "   HelmetDesignStr: 1,ffffff,000000,ff0000\n"
        << "   SuitDesignStr: 2,ffffff,000000,ff0000\n"
        << "   CarNumberDesignStr: 0,0,ffffff,777777,000000\n"
        << "   CarSponsor_1: 0\n"
        << "   CarSponsor_2: 0\n"
        << "   CurDriverIncidentCount: 0\n"
        << "   TeamIncidentCount: 0\n";
  }
  out << "\n";
}

void write_splits_and_setup(std::ostringstream& out, std::int32_t update) {
  out << "SplitTimeInfo:\n"
      << " Sectors:\n"
      << " - SectorNum: 0\n"
      << "   SectorStartPct: 0.000000\n"
      << " - SectorNum: 1\n"
      << "   SectorStartPct: 0.342100\n"
      << " - SectorNum: 2\n"
      << "   SectorStartPct: 0.701550\n"
      << "\n"
      << "CarSetup:\n"
      << " UpdateCount: " << update << "\n"
      << " TiresAero:\n"
      << "  LeftFront:\n"
      << "   StartingPressure: 172 kPa\n"
      << "   LastHotPressure: 180 kPa\n"
      << "   LastTempsOMI: 84C, 86C, 88C\n"
      << "   TreadRemaining: 100%, 100%, 100%\n"
      << " Chassis:\n"
      << "  Front:\n"
      // Extra spaces before the value, as some setup values have.
      << "   ArbSetting:  4\n"
      << "   BrakeBias: 56.5%\n"
      << "...\n";
}

}  // namespace

std::string standin_session_text(std::int32_t update, double track_length_metres) {
  std::ostringstream out;
  write_weekend(out, update, track_length_metres);
  write_sessions(out, update);
  write_cameras_and_radio(out);
  write_drivers(out);
  write_splits_and_setup(out, update);
  return out.str();
}

}  // namespace vove::iracing
