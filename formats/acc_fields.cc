#include "formats/acc_fields.h"

#include <array>
#include <cmath>
#include <limits>

#include "common/byte_coding.h"

namespace vove::acc {

namespace {

// The simulator's published layout, field by field; arrays of triples (a
// position per car or per tyre) have an inner count of 3.
// clang-format off: one field to a line, as the layout lists them
constexpr Field field_table[] = {
    {Page::graphics, "packetId", FieldType::int32, 1, 1, 0, "", "Step counter; increases with every graphics update"},
    {Page::graphics, "status", FieldType::int32, 1, 1, 4, "ACC_STATUS",
     "Simulator status: 0 off, 1 replay, 2 live, 3 pause"},
    {Page::graphics, "session", FieldType::int32, 1, 1, 8, "ACC_SESSION_TYPE", "Session type"},
    {Page::graphics, "currentTime", FieldType::utf16, 15, 1, 12, "", "Current lap time as text"},
    {Page::graphics, "lastTime", FieldType::utf16, 15, 1, 42, "", "Last lap time as text"},
    {Page::graphics, "bestTime", FieldType::utf16, 15, 1, 72, "", "Best lap time as text"},
    {Page::graphics, "split", FieldType::utf16, 15, 1, 102, "", "Last split as text"},
    {Page::graphics, "completedLaps", FieldType::int32, 1, 1, 132, "", "Laps completed"},
    {Page::graphics, "position", FieldType::int32, 1, 1, 136, "", "Race position"},
    {Page::graphics, "iCurrentTime", FieldType::int32, 1, 1, 140, "ms", "Current lap time, ms"},
    {Page::graphics, "iLastTime", FieldType::int32, 1, 1, 144, "ms", "Last lap time, ms"},
    {Page::graphics, "iBestTime", FieldType::int32, 1, 1, 148, "ms", "Best lap time, ms"},
    {Page::graphics, "sessionTimeLeft", FieldType::float32, 1, 1, 152, "", "Session time remaining"},
    {Page::graphics, "distanceTraveled", FieldType::float32, 1, 1, 156, "", "Distance driven in the current stint"},
    {Page::graphics, "isInPit", FieldType::int32, 1, 1, 160, "", "In the pit box (0/1)"},
    {Page::graphics, "currentSectorIndex", FieldType::int32, 1, 1, 164, "", "Current sector, 0-based"},
    {Page::graphics, "lastSectorTime", FieldType::int32, 1, 1, 168, "ms", "Last sector time, ms"},
    {Page::graphics, "numberOfLaps", FieldType::int32, 1, 1, 172, "", "Number of laps (PDF: completed laps)"},
    {Page::graphics, "tyreCompound", FieldType::utf16, 33, 1, 176, "", "Tyre compound name"},
    {Page::graphics, "replayTimeMultiplier", FieldType::float32, 1, 1, 244, "", "Not used in ACC"},
    {Page::graphics, "normalizedCarPosition", FieldType::float32, 1, 1, 248, "0-1",
     "Position along the track spline, 0.0–1.0"},
    {Page::graphics, "activeCars", FieldType::int32, 1, 1, 252, "", "Number of cars on track"},
    {Page::graphics, "carCoordinates", FieldType::float32, 180, 3, 256, "", "World coordinates of up to 60 cars"},
    {Page::graphics, "carID", FieldType::int32, 60, 1, 976, "", "Car ids matching carCoordinates"},
    {Page::graphics, "playerCarID", FieldType::int32, 1, 1, 1216, "", "Player's car id"},
    {Page::graphics, "penaltyTime", FieldType::float32, 1, 1, 1220, "", "Penalty time still to serve"},
    {Page::graphics, "flag", FieldType::int32, 1, 1, 1224, "ACC_FLAG_TYPE", "Flag shown to the driver"},
    {Page::graphics, "penalty", FieldType::int32, 1, 1, 1228, "ACC_PENALTY_TYPE", "Penalty to serve"},
    {Page::graphics, "idealLineOn", FieldType::int32, 1, 1, 1232, "", "Ideal line shown (0/1)"},
    {Page::graphics, "isInPitLane", FieldType::int32, 1, 1, 1236, "", "In the pit lane (0/1)"},
    {Page::graphics, "surfaceGrip", FieldType::float32, 1, 1, 1240, "", "Grip of the ideal line"},
    {Page::graphics, "mandatoryPitDone", FieldType::int32, 1, 1, 1244, "", "Mandatory stop done (0/1)"},
    {Page::graphics, "windSpeed", FieldType::float32, 1, 1, 1248, "m/s", "Wind speed, m/s"},
    {Page::graphics, "windDirection", FieldType::float32, 1, 1, 1252, "rad", "Wind direction, rad"},
    {Page::graphics, "isSetupMenuVisible", FieldType::int32, 1, 1, 1256, "", "Setup screen open (0/1)"},
    {Page::graphics, "mainDisplayIndex", FieldType::int32, 1, 1, 1260, "", "Current main dash page"},
    {Page::graphics, "secondaryDisplayIndex", FieldType::int32, 1, 1, 1264, "", "Current secondary dash page"},
    {Page::graphics, "TC", FieldType::int32, 1, 1, 1268, "", "TC level"},
    {Page::graphics, "TCCut", FieldType::int32, 1, 1, 1272, "", "TC cut level"},
    {Page::graphics, "EngineMap", FieldType::int32, 1, 1, 1276, "", "Engine map"},
    {Page::graphics, "ABS", FieldType::int32, 1, 1, 1280, "", "ABS level"},
    {Page::graphics, "fuelXLap", FieldType::int32, 1, 1, 1284, "",
     "Average fuel per lap (header: int; PDF: float, litres)"},
    {Page::graphics, "rainLights", FieldType::int32, 1, 1, 1288, "", "Rain light on (0/1)"},
    {Page::graphics, "flashingLights", FieldType::int32, 1, 1, 1292, "", "Headlight flash on (0/1)"},
    {Page::graphics, "lightsStage", FieldType::int32, 1, 1, 1296, "", "Headlight stage"},
    {Page::graphics, "exhaustTemperature", FieldType::float32, 1, 1, 1300, "", "Exhaust temperature"},
    {Page::graphics, "wiperLV", FieldType::int32, 1, 1, 1304, "", "Wiper stage"},
    {Page::graphics, "DriverStintTotalTimeLeft", FieldType::int32, 1, 1, 1308, "ms",
     "Driving time left for this driver, ms"},
    {Page::graphics, "DriverStintTimeLeft", FieldType::int32, 1, 1, 1312, "ms", "Time left in the current stint, ms"},
    {Page::graphics, "rainTyres", FieldType::int32, 1, 1, 1316, "", "Wet tyres fitted (0/1)"},
    {Page::graphics, "sessionIndex", FieldType::int32, 1, 1, 1320, "", "Index of the current session"},
    {Page::graphics, "usedFuel", FieldType::float32, 1, 1, 1324, "", "Fuel used since the last refuel"},
    {Page::graphics, "deltaLapTime", FieldType::utf16, 15, 1, 1328, "", "Delta as text"},
    {Page::graphics, "iDeltaLapTime", FieldType::int32, 1, 1, 1360, "ms", "Delta, ms"},
    {Page::graphics, "estimatedLapTime", FieldType::utf16, 15, 1, 1364, "", "Estimated lap time as text"},
    {Page::graphics, "iEstimatedLapTime", FieldType::int32, 1, 1, 1396, "ms", "Estimated lap time, ms"},
    {Page::graphics, "isDeltaPositive", FieldType::int32, 1, 1, 1400, "", "1 if the delta is positive"},
    {Page::graphics, "iSplit", FieldType::int32, 1, 1, 1404, "ms", "Last split, ms"},
    {Page::graphics, "isValidLap", FieldType::int32, 1, 1, 1408, "", "Lap still valid (0/1)"},
    {Page::graphics, "fuelEstimatedLaps", FieldType::float32, 1, 1, 1412, "", "Laps possible on current fuel"},
    {Page::graphics, "trackStatus", FieldType::utf16, 33, 1, 1416, "", "Track condition as text"},
    {Page::graphics, "missingMandatoryPits", FieldType::int32, 1, 1, 1484, "", "Mandatory stops still to make"},
    {Page::graphics, "Clock", FieldType::float32, 1, 1, 1488, "s", "Time of day, s"},
    {Page::graphics, "directionLightsLeft", FieldType::int32, 1, 1, 1492, "", "Left indicator on (0/1)"},
    {Page::graphics, "directionLightsRight", FieldType::int32, 1, 1, 1496, "", "Right indicator on (0/1)"},
    {Page::graphics, "GlobalYellow", FieldType::int32, 1, 1, 1500, "", "Yellow flag anywhere (0/1)"},
    {Page::graphics, "GlobalYellow1", FieldType::int32, 1, 1, 1504, "", "Yellow in sector 1 (0/1)"},
    {Page::graphics, "GlobalYellow2", FieldType::int32, 1, 1, 1508, "", "Yellow in sector 2 (0/1)"},
    {Page::graphics, "GlobalYellow3", FieldType::int32, 1, 1, 1512, "", "Yellow in sector 3 (0/1)"},
    {Page::graphics, "GlobalWhite", FieldType::int32, 1, 1, 1516, "", "White flag (0/1)"},
    {Page::graphics, "GlobalGreen", FieldType::int32, 1, 1, 1520, "", "Green flag (0/1)"},
    {Page::graphics, "GlobalChequered", FieldType::int32, 1, 1, 1524, "", "Chequered flag (0/1)"},
    {Page::graphics, "GlobalRed", FieldType::int32, 1, 1, 1528, "", "Red flag (0/1)"},
    {Page::graphics, "mfdTyreSet", FieldType::int32, 1, 1, 1532, "", "Tyre set selected on the pit MFD"},
    {Page::graphics, "mfdFuelToAdd", FieldType::float32, 1, 1, 1536, "", "Fuel to add on the pit MFD"},
    {Page::graphics, "mfdTyrePressureLF", FieldType::float32, 1, 1, 1540, "", "MFD pressure, left front"},
    {Page::graphics, "mfdTyrePressureRF", FieldType::float32, 1, 1, 1544, "", "MFD pressure, right front"},
    {Page::graphics, "mfdTyrePressureLR", FieldType::float32, 1, 1, 1548, "", "MFD pressure, left rear"},
    {Page::graphics, "mfdTyrePressureRR", FieldType::float32, 1, 1, 1552, "", "MFD pressure, right rear"},
    {Page::graphics, "trackGripStatus", FieldType::int32, 1, 1, 1556, "ACC_TRACK_GRIP_STATUS", "Track grip"},
    {Page::graphics, "rainIntensity", FieldType::int32, 1, 1, 1560, "ACC_RAIN_INTENSITY", "Rain now"},
    {Page::graphics, "rainIntensityIn10min", FieldType::int32, 1, 1, 1564, "ACC_RAIN_INTENSITY",
     "Rain forecast, +10 min"},
    {Page::graphics, "rainIntensityIn30min", FieldType::int32, 1, 1, 1568, "ACC_RAIN_INTENSITY",
     "Rain forecast, +30 min"},
    {Page::graphics, "currentTyreSet", FieldType::int32, 1, 1, 1572, "", "Tyre set in use"},
    {Page::graphics, "strategyTyreSet", FieldType::int32, 1, 1, 1576, "", "Next tyre set per strategy"},
    {Page::graphics, "gapAhead", FieldType::int32, 1, 1, 1580, "ms", "Gap to the car ahead, ms (added in v1.8.12)"},
    {Page::graphics, "gapBehind", FieldType::int32, 1, 1, 1584, "ms", "Gap to the car behind, ms (added in v1.8.12)"},
    {Page::physics, "packetId", FieldType::int32, 1, 1, 0, "", "Step counter; increases with every physics update"},
    {Page::physics, "gas", FieldType::float32, 1, 1, 4, "0-1", "Throttle pedal, 0.0–1.0"},
    {Page::physics, "brake", FieldType::float32, 1, 1, 8, "0-1", "Brake pedal, 0.0–1.0"},
    {Page::physics, "fuel", FieldType::float32, 1, 1, 12, "",
     "Fuel remaining (the v1.8.12 PDF says kg; many readers treat it as litres)"},
    {Page::physics, "gear", FieldType::int32, 1, 1, 16, "",
     "Selected gear; readers use 0 = reverse, 1 = neutral, 2 = first …"},
    {Page::physics, "rpms", FieldType::int32, 1, 1, 20, "rpm", "Engine speed, rpm (PDF name: rpm)"},
    {Page::physics, "steerAngle", FieldType::float32, 1, 1, 24, "", "Steering input, −1.0–1.0"},
    {Page::physics, "speedKmh", FieldType::float32, 1, 1, 28, "km/h", "Speed, km/h"},
    {Page::physics, "velocity", FieldType::float32, 3, 1, 32, "", "Velocity vector, world frame (x, y, z)"},
    {Page::physics, "accG", FieldType::float32, 3, 1, 44, "g", "Acceleration vector, in g"},
    {Page::physics, "wheelSlip", FieldType::float32, 4, 1, 56, "", "Slip per tyre"},
    {Page::physics, "wheelLoad", FieldType::float32, 4, 1, 72, "", "Load per wheel"},
    {Page::physics, "wheelsPressure", FieldType::float32, 4, 1, 88, "",
     "Tyre pressure per tyre (PDF name: wheelPressure)"},
    {Page::physics, "wheelAngularSpeed", FieldType::float32, 4, 1, 104, "rad/s", "Wheel angular speed, rad/s"},
    {Page::physics, "tyreWear", FieldType::float32, 4, 1, 120, "", "Tyre wear"},
    {Page::physics, "tyreDirtyLevel", FieldType::float32, 4, 1, 136, "", "Dirt on each tyre"},
    {Page::physics, "tyreCoreTemperature", FieldType::float32, 4, 1, 152, "°C",
     "Tyre core temperature, °C (PDF name: TyreCoreTemp)"},
    {Page::physics, "camberRAD", FieldType::float32, 4, 1, 168, "rad", "Camber, rad"},
    {Page::physics, "suspensionTravel", FieldType::float32, 4, 1, 184, "", "Suspension travel"},
    {Page::physics, "drs", FieldType::float32, 1, 1, 200, "", "DRS state"},
    {Page::physics, "tc", FieldType::float32, 1, 1, 204, "", "TC intervening"},
    {Page::physics, "heading", FieldType::float32, 1, 1, 208, "rad", "Yaw, rad"},
    {Page::physics, "pitch", FieldType::float32, 1, 1, 212, "rad", "Pitch, rad"},
    {Page::physics, "roll", FieldType::float32, 1, 1, 216, "rad", "Roll, rad"},
    {Page::physics, "cgHeight", FieldType::float32, 1, 1, 220, "", "Centre-of-gravity height"},
    {Page::physics, "carDamage", FieldType::float32, 5, 1, 224, "", "Body damage: front, rear, left, right, centre"},
    {Page::physics, "numberOfTyresOut", FieldType::int32, 1, 1, 244, "", "Tyres off the track"},
    {Page::physics, "pitLimiterOn", FieldType::int32, 1, 1, 248, "", "Pit limiter engaged (0/1)"},
    {Page::physics, "abs", FieldType::float32, 1, 1, 252, "", "ABS intervening"},
    {Page::physics, "kersCharge", FieldType::float32, 1, 1, 256, "", "Not used in ACC"},
    {Page::physics, "kersInput", FieldType::float32, 1, 1, 260, "", "Not used in ACC"},
    {Page::physics, "autoShifterOn", FieldType::int32, 1, 1, 264, "", "Automatic gearbox on (0/1)"},
    {Page::physics, "rideHeight", FieldType::float32, 2, 1, 268, "", "Ride height: front, rear"},
    {Page::physics, "turboBoost", FieldType::float32, 1, 1, 276, "", "Turbo boost level"},
    {Page::physics, "ballast", FieldType::float32, 1, 1, 280, "kg", "Ballast, kg (PDF: not implemented)"},
    {Page::physics, "airDensity", FieldType::float32, 1, 1, 284, "", "Air density"},
    {Page::physics, "airTemp", FieldType::float32, 1, 1, 288, "°C", "Air temperature, °C"},
    {Page::physics, "roadTemp", FieldType::float32, 1, 1, 292, "°C", "Track temperature, °C"},
    {Page::physics, "localAngularVel", FieldType::float32, 3, 1, 296, "", "Angular velocity, car frame"},
    {Page::physics, "finalFF", FieldType::float32, 1, 1, 308, "", "Force-feedback output"},
    {Page::physics, "performanceMeter", FieldType::float32, 1, 1, 312, "", "Not used in ACC"},
    {Page::physics, "engineBrake", FieldType::int32, 1, 1, 316, "", "Not used in ACC"},
    {Page::physics, "ersRecoveryLevel", FieldType::int32, 1, 1, 320, "", "Not used in ACC"},
    {Page::physics, "ersPowerLevel", FieldType::int32, 1, 1, 324, "", "Not used in ACC"},
    {Page::physics, "ersHeatCharging", FieldType::int32, 1, 1, 328, "", "Not used in ACC"},
    {Page::physics, "ersIsCharging", FieldType::int32, 1, 1, 332, "", "Not used in ACC"},
    {Page::physics, "kersCurrentKJ", FieldType::float32, 1, 1, 336, "", "Not used in ACC"},
    {Page::physics, "drsAvailable", FieldType::int32, 1, 1, 340, "", "Not used in ACC"},
    {Page::physics, "drsEnabled", FieldType::int32, 1, 1, 344, "", "Not used in ACC"},
    {Page::physics, "brakeTemp", FieldType::float32, 4, 1, 348, "°C", "Brake disc temperature, °C"},
    {Page::physics, "clutch", FieldType::float32, 1, 1, 364, "0-1", "Clutch pedal, 0.0–1.0"},
    {Page::physics, "tyreTempI", FieldType::float32, 4, 1, 368, "", "Inner tread temperature (not shown in ACC)"},
    {Page::physics, "tyreTempM", FieldType::float32, 4, 1, 384, "", "Middle tread temperature (not shown in ACC)"},
    {Page::physics, "tyreTempO", FieldType::float32, 4, 1, 400, "", "Outer tread temperature (not shown in ACC)"},
    {Page::physics, "isAIControlled", FieldType::int32, 1, 1, 416, "", "Car driven by the AI (0/1)"},
    {Page::physics, "tyreContactPoint", FieldType::float32, 12, 3, 420, "",
     "Contact point per tyre, world coordinates"},
    {Page::physics, "tyreContactNormal", FieldType::float32, 12, 3, 468, "", "Contact normal per tyre"},
    {Page::physics, "tyreContactHeading", FieldType::float32, 12, 3, 516, "", "Contact heading per tyre"},
    {Page::physics, "brakeBias", FieldType::float32, 1, 1, 564, "",
     "Front brake bias (raw; the PDF lists a per-car display offset)"},
    {Page::physics, "localVelocity", FieldType::float32, 3, 1, 568, "", "Velocity vector, car frame"},
    {Page::physics, "P2PActivations", FieldType::int32, 1, 1, 580, "", "Not used in ACC (PDF name: P2PActivation)"},
    {Page::physics, "P2PStatus", FieldType::int32, 1, 1, 584, "", "Not used in ACC"},
    {Page::physics, "currentMaxRpm", FieldType::int32, 1, 1, 588, "rpm",
     "Current maximum engine rpm (header: int; PDF: float)"},
    {Page::physics, "mz", FieldType::float32, 4, 1, 592, "", "Tyre self-aligning moment (not shown in ACC)"},
    {Page::physics, "fx", FieldType::float32, 4, 1, 608, "", "Tyre longitudinal force (not shown in ACC)"},
    {Page::physics, "fy", FieldType::float32, 4, 1, 624, "", "Tyre lateral force (not shown in ACC)"},
    {Page::physics, "slipRatio", FieldType::float32, 4, 1, 640, "", "Slip ratio per tyre"},
    {Page::physics, "slipAngle", FieldType::float32, 4, 1, 656, "", "Slip angle per tyre"},
    {Page::physics, "tcinAction", FieldType::int32, 1, 1, 672, "", "TC intervening (0/1)"},
    {Page::physics, "absInAction", FieldType::int32, 1, 1, 676, "", "ABS intervening (0/1)"},
    {Page::physics, "suspensionDamage", FieldType::float32, 4, 1, 680, "", "Suspension damage per corner"},
    {Page::physics, "tyreTemp", FieldType::float32, 4, 1, 696, "°C",
     "Tyre core temperature (duplicate of tyreCoreTemperature)"},
    {Page::physics, "waterTemp", FieldType::float32, 1, 1, 712, "°C", "Coolant temperature, °C"},
    {Page::physics, "brakePressure", FieldType::float32, 4, 1, 716, "",
     "Brake pressure per wheel (PDF lists per-car coefficients)"},
    {Page::physics, "frontBrakeCompound", FieldType::int32, 1, 1, 732, "", "Front pad compound index"},
    {Page::physics, "rearBrakeCompound", FieldType::int32, 1, 1, 736, "", "Rear pad compound index"},
    {Page::physics, "padLife", FieldType::float32, 4, 1, 740, "", "Brake pad wear"},
    {Page::physics, "discLife", FieldType::float32, 4, 1, 756, "", "Brake disc wear"},
    {Page::physics, "ignitionOn", FieldType::int32, 1, 1, 772, "", "Ignition on (0/1)"},
    {Page::physics, "starterEngineOn", FieldType::int32, 1, 1, 776, "", "Starter engaged (0/1)"},
    {Page::physics, "isEngineRunning", FieldType::int32, 1, 1, 780, "", "Engine running (0/1)"},
    {Page::physics, "kerbVibration", FieldType::float32, 1, 1, 784, "", "Kerb vibration sent to FFB"},
    {Page::physics, "slipVibrations", FieldType::float32, 1, 1, 788, "", "Slip vibration sent to FFB"},
    {Page::physics, "gVibrations", FieldType::float32, 1, 1, 792, "", "g-force vibration sent to FFB"},
    {Page::physics, "absVibrations", FieldType::float32, 1, 1, 796, "", "ABS vibration sent to FFB"},
    {Page::static_page, "smVersion", FieldType::utf16, 15, 1, 0, "", "Shared-memory layout version string"},
    {Page::static_page, "acVersion", FieldType::utf16, 15, 1, 30, "", "Game version string"},
    {Page::static_page, "numberOfSessions", FieldType::int32, 1, 1, 60, "", "Sessions in the event"},
    {Page::static_page, "numCars", FieldType::int32, 1, 1, 64, "", "Number of cars"},
    {Page::static_page, "carModel", FieldType::utf16, 33, 1, 68, "", "Player car model id (e.g. a Kunos model key)"},
    {Page::static_page, "track", FieldType::utf16, 33, 1, 134, "", "Track name"},
    {Page::static_page, "playerName", FieldType::utf16, 33, 1, 200, "", "Player first name"},
    {Page::static_page, "playerSurname", FieldType::utf16, 33, 1, 266, "", "Player surname"},
    {Page::static_page, "playerNick", FieldType::utf16, 33, 1, 332, "", "Player nickname"},
    {Page::static_page, "sectorCount", FieldType::int32, 1, 1, 400, "", "Number of sectors"},
    {Page::static_page, "maxTorque", FieldType::float32, 1, 1, 404, "", "Not shown in ACC"},
    {Page::static_page, "maxPower", FieldType::float32, 1, 1, 408, "", "Not shown in ACC"},
    {Page::static_page, "maxRpm", FieldType::int32, 1, 1, 412, "rpm", "Maximum rpm"},
    {Page::static_page, "maxFuel", FieldType::float32, 1, 1, 416, "", "Tank capacity"},
    {Page::static_page, "suspensionMaxTravel", FieldType::float32, 4, 1, 420, "", "Not shown in ACC"},
    {Page::static_page, "tyreRadius", FieldType::float32, 4, 1, 436, "", "Not shown in ACC"},
    {Page::static_page, "maxTurboBoost", FieldType::float32, 1, 1, 452, "", "Maximum turbo boost"},
    {Page::static_page, "deprecated_1", FieldType::float32, 1, 1, 456, "",
     "Deprecated; early AC1 air temperature, default −273"},
    {Page::static_page, "deprecated_2", FieldType::float32, 1, 1, 460, "",
     "Deprecated; early AC1 road temperature, default −273"},
    {Page::static_page, "penaltiesEnabled", FieldType::int32, 1, 1, 464, "", "Penalties on (0/1)"},
    {Page::static_page, "aidFuelRate", FieldType::float32, 1, 1, 468, "", "Fuel-use multiplier"},
    {Page::static_page, "aidTireRate", FieldType::float32, 1, 1, 472, "", "Tyre-wear multiplier"},
    {Page::static_page, "aidMechanicalDamage", FieldType::float32, 1, 1, 476, "", "Damage multiplier"},
    {Page::static_page, "aidAllowTyreBlankets", FieldType::int32, 1, 1, 480, "",
     "Tyre blankets allowed (header: int; PDF: float)"},
    {Page::static_page, "aidStability", FieldType::float32, 1, 1, 484, "", "Stability aid level"},
    {Page::static_page, "aidAutoClutch", FieldType::int32, 1, 1, 488, "", "Auto clutch (0/1)"},
    {Page::static_page, "aidAutoBlip", FieldType::int32, 1, 1, 492, "", "Auto blip (always on in ACC)"},
    {Page::static_page, "hasDRS", FieldType::int32, 1, 1, 496, "", "Not used in ACC"},
    {Page::static_page, "hasERS", FieldType::int32, 1, 1, 500, "", "Not used in ACC"},
    {Page::static_page, "hasKERS", FieldType::int32, 1, 1, 504, "", "Not used in ACC"},
    {Page::static_page, "kersMaxJ", FieldType::float32, 1, 1, 508, "", "Not used in ACC"},
    {Page::static_page, "engineBrakeSettingsCount", FieldType::int32, 1, 1, 512, "", "Not used in ACC"},
    {Page::static_page, "ersPowerControllerCount", FieldType::int32, 1, 1, 516, "", "Not used in ACC"},
    {Page::static_page, "trackSPlineLength", FieldType::float32, 1, 1, 520, "", "Not used in ACC"},
    {Page::static_page, "trackConfiguration", FieldType::utf16, 33, 1, 524, "",
     "Not used in ACC (count 33 in the header; the PDF gives none)"},
    {Page::static_page, "ersMaxJ", FieldType::float32, 1, 1, 592, "", "Not used in ACC"},
    {Page::static_page, "isTimedRace", FieldType::int32, 1, 1, 596, "", "Not used in ACC"},
    {Page::static_page, "hasExtraLap", FieldType::int32, 1, 1, 600, "", "Not used in ACC"},
    {Page::static_page, "carSkin", FieldType::utf16, 33, 1, 604, "", "Not used in ACC"},
    {Page::static_page, "reversedGridPositions", FieldType::int32, 1, 1, 672, "", "Not used in ACC"},
    {Page::static_page, "PitWindowStart", FieldType::int32, 1, 1, 676, "", "Pit window opens"},
    {Page::static_page, "PitWindowEnd", FieldType::int32, 1, 1, 680, "", "Pit window closes"},
    {Page::static_page, "isOnline", FieldType::int32, 1, 1, 684, "", "Multiplayer session (0/1)"},
    {Page::static_page, "dryTyresName", FieldType::utf16, 33, 1, 688, "", "Dry tyre name"},
    {Page::static_page, "wetTyresName", FieldType::utf16, 33, 1, 754, "", "Wet tyre name"},
};
// clang-format on

constexpr std::size_t page_length(Page page) noexcept {
  switch (page) {
    case Page::graphics: return graphics_page.image_size;
    case Page::physics: return physics_page.image_size;
    case Page::static_page: return static_page.image_size;
  }
  return 0;
}

// The table is checked where it is compiled: on its page, in offset order,
// none overlapping the one before.
constexpr bool table_is_laid_out() {
  for (std::size_t i = 0; i < std::size(field_table); ++i) {
    const Field& f = field_table[i];
    if (!f.fits(page_length(f.page)) || f.inner_count == 0 || f.count % f.inner_count != 0) return false;
    if (i > 0 && field_table[i - 1].page == f.page &&
        field_table[i - 1].offset + field_table[i - 1].size() > f.offset) {
      return false;
    }
  }
  return true;
}
static_assert(table_is_laid_out());

std::span<const std::uint8_t> slot(std::span<const std::uint8_t> payload, const PageDescription& page) noexcept {
  if (payload.size() <= page.payload_offset) return {};
  return payload.subspan(page.payload_offset, std::min(page.image_size, payload.size() - page.payload_offset));
}

const std::uint8_t* value_at(const Field& field, std::span<const std::uint8_t> page, std::size_t index) noexcept {
  if (field.type == FieldType::utf16 || index >= field.count || !field.fits(page.size())) return nullptr;
  return page.data() + field.offset + 4 * index;
}

void append_utf8(std::string& text, std::uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xc0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3f));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xe0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    text += static_cast<char>(0x80 | (code & 0x3f));
  } else {
    text += static_cast<char>(0xf0 | (code >> 18));
    text += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    text += static_cast<char>(0x80 | (code & 0x3f));
  }
}

constexpr std::uint32_t replacement_character = 0xfffd;

}  // namespace

std::string_view page_name(Page page) noexcept {
  switch (page) {
    case Page::graphics: return "graphics";
    case Page::physics: return "physics";
    case Page::static_page: return "static";
  }
  return "?";
}

std::string_view field_type_name(FieldType type) noexcept {
  switch (type) {
    case FieldType::int32: return "int32";
    case FieldType::float32: return "float";
    case FieldType::utf16: return "utf16";
  }
  return "?";
}

std::string Field::full_name() const {
  std::string text(page_name(page));
  text += '.';
  text += name;
  return text;
}

std::string Field::column_name(std::size_t column) const {
  std::string text = full_name();
  if (columns() == 1) return text;
  if (inner_count > 1) {
    return text + "[" + std::to_string(column / inner_count) + "][" + std::to_string(column % inner_count) + "]";
  }
  return text + "[" + std::to_string(column) + "]";
}

std::span<const Field> acc_fields() noexcept { return field_table; }

const Field* find_field(std::span<const Field> fields, Page page, std::string_view name) noexcept {
  for (const Field& field : fields) {
    if (field.page == page && field.name == name) return &field;
  }
  return nullptr;
}

const Field* find_field(std::span<const Field> fields, std::string_view name) noexcept {
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos) {
    const std::string_view page = name.substr(0, dot);
    for (const Page p : {Page::graphics, Page::physics, Page::static_page}) {
      if (page_name(p) == page) return find_field(fields, p, name.substr(dot + 1));
    }
    return nullptr;
  }
  const Field* found = nullptr;
  for (const Field& field : fields) {
    if (field.name != name) continue;
    if (found != nullptr) return nullptr;  // on more than one page: the page has to be named
    found = &field;
  }
  return found;
}

const Field* find_field(Page page, std::string_view name) noexcept { return find_field(field_table, page, name); }

const Field* find_field(std::string_view name) noexcept { return find_field(field_table, name); }

std::span<const std::uint8_t> PageBytes::of(Page page) const noexcept {
  switch (page) {
    case Page::graphics: return graphics;
    case Page::physics: return physics;
    case Page::static_page: return static_page;
  }
  return {};
}

PageBytes pages_of_payload(std::span<const std::uint8_t> payload) noexcept {
  return PageBytes{slot(payload, graphics_page), slot(payload, physics_page), slot(payload, acc::static_page)};
}

std::optional<std::int32_t> read_int(const Field& field, std::span<const std::uint8_t> page,
                                     std::size_t index) noexcept {
  const std::uint8_t* at = value_at(field, page, index);
  if (at == nullptr) return std::nullopt;
  if (field.type == FieldType::float32) {
    const float value = coding::decode_f32(at);
    // Only a float that an int32 holds converts; anything else is no number.
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) return std::nullopt;
    return static_cast<std::int32_t>(value);
  }
  return coding::decode_i32(at);
}

std::optional<float> read_float(const Field& field, std::span<const std::uint8_t> page, std::size_t index) noexcept {
  const std::uint8_t* at = value_at(field, page, index);
  if (at == nullptr) return std::nullopt;
  if (field.type == FieldType::int32) return static_cast<float>(coding::decode_i32(at));
  return coding::decode_f32(at);
}

double read_number(const Field& field, std::span<const std::uint8_t> page, std::size_t index) noexcept {
  const std::uint8_t* at = value_at(field, page, index);
  if (at == nullptr) return std::numeric_limits<double>::quiet_NaN();
  if (field.type == FieldType::int32) return coding::decode_i32(at);
  return coding::decode_f32(at);
}

std::optional<std::string> read_text(const Field& field, std::span<const std::uint8_t> page) {
  if (field.type != FieldType::utf16 || !field.fits(page.size())) return std::nullopt;
  return utf16le_to_utf8(page.subspan(field.offset, field.size()));
}

std::string utf16le_to_utf8(std::span<const std::uint8_t> bytes) {
  std::string text;
  const std::size_t units = bytes.size() / 2;
  const auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(bytes[2 * i]) | static_cast<std::uint32_t>(bytes[2 * i + 1]) << 8;
  };
  for (std::size_t i = 0; i < units; ++i) {
    const std::uint32_t first = unit(i);
    if (first == 0) break;
    if (first >= 0xd800 && first < 0xdc00) {
      // A high surrogate counts only with the low one after it.
      if (i + 1 < units && unit(i + 1) >= 0xdc00 && unit(i + 1) < 0xe000) {
        append_utf8(text, 0x10000 + ((first - 0xd800) << 10) + (unit(i + 1) - 0xdc00));
        ++i;
      } else {
        append_utf8(text, replacement_character);
      }
    } else if (first >= 0xdc00 && first < 0xe000) {
      append_utf8(text, replacement_character);
    } else {
      append_utf8(text, first);
    }
  }
  return text;
}

std::optional<std::int32_t> int_field(const PageBytes& pages, Page page, std::string_view name,
                                      std::size_t index) noexcept {
  const Field* field = find_field(page, name);
  return field == nullptr ? std::nullopt : read_int(*field, pages.of(page), index);
}

std::optional<float> float_field(const PageBytes& pages, Page page, std::string_view name, std::size_t index) noexcept {
  const Field* field = find_field(page, name);
  return field == nullptr ? std::nullopt : read_float(*field, pages.of(page), index);
}

std::string text_field(const PageBytes& pages, Page page, std::string_view name) {
  const Field* field = find_field(page, name);
  if (field == nullptr) return {};
  return read_text(*field, pages.of(page)).value_or(std::string());
}

std::string player_name(const PageBytes& pages) {
  std::string player = text_field(pages, Page::static_page, "playerName");
  const std::string surname = text_field(pages, Page::static_page, "playerSurname");
  const std::string nick = text_field(pages, Page::static_page, "playerNick");
  if (!surname.empty()) player += (player.empty() ? "" : " ") + surname;
  if (!nick.empty()) player += (player.empty() ? "(" : " (") + nick + ")";
  return player;
}

EnumValue status_value(std::int32_t status) noexcept {
  constexpr std::array<EnumValue, 4> values{
      {{"ACC_OFF", "Off"}, {"ACC_REPLAY", "Replay"}, {"ACC_LIVE", "Live"}, {"ACC_PAUSE", "Pause"}}};
  if (status < 0 || status >= static_cast<std::int32_t>(values.size())) return {};
  return values[static_cast<std::size_t>(status)];
}

EnumValue session_type_value(std::int32_t session) noexcept {
  constexpr std::array<EnumValue, 10> values{{{"ACC_UNKNOWN", "Unknown"},
                                              {"ACC_PRACTICE", "Practice"},
                                              {"ACC_QUALIFY", "Qualify"},
                                              {"ACC_RACE", "Race"},
                                              {"ACC_HOTLAP", "Hotlap"},
                                              {"ACC_TIMEATTACK", "Time attack"},
                                              {"ACC_DRIFT", "Drift"},
                                              {"ACC_DRAG", "Drag"},
                                              {"ACC_HOTSTINT", "Hotstint"},
                                              {"ACC_HOTSTINTSUPERPOLE", "Hotstint superpole"}}};
  if (session < -1 || session > 8) return {};
  return values[static_cast<std::size_t>(session + 1)];
}

}  // namespace vove::acc
