#include "tools/sim_standin/iracing_variables.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "common/byte_coding.h"
#include "tools/sim_standin/standin_drive.h"

namespace iRacing {

namespace {

using Type = VariableType;

// Cars in the arrays run this many seconds apart on the road.
constexpr double car_spacing_seconds = 1.7;
constexpr std::int32_t car_slots = 64;
constexpr std::int32_t high_rate_samples = 6;

Signal wave(double base, double amplitude, double period_seconds, double noise = 0.0) {
  return Signal{SignalKind::wave, base, amplitude, period_seconds, noise};
}
Signal constant(double value) { return Signal{SignalKind::constant, value, 0.0, 1.0, 0.0}; }
Signal follow(SignalKind kind, double noise = 0.0) { return Signal{kind, 0.0, 0.0, 1.0, noise}; }

class TableBuilder {
 public:
  void add(std::string name, Type type, std::string unit, std::string description, Signal signal,
           std::int32_t count = 1, bool count_as_time = false) {
    if (name.size() >= variable_name_capacity || description.size() >= variable_description_capacity ||
        unit.size() >= variable_unit_capacity || count < 1) {
      throw std::logic_error("stand-in variable '" + name + "' does not fit its header");
    }
    StandinVariable variable;
    variable.name = std::move(name);
    variable.description = std::move(description);
    variable.unit = std::move(unit);
    variable.type = type;
    variable.count = count;
    variable.count_as_time = count_as_time;
    variable.signal = signal;
    const std::int32_t size = variable_type_size(type);
    next_offset_ = (next_offset_ + size - 1) / size * size;
    variable.row_offset = next_offset_;
    next_offset_ += size * count;
    variables_.push_back(std::move(variable));
  }

  std::vector<StandinVariable> finish() { return std::move(variables_); }

 private:
  std::vector<StandinVariable> variables_;
  std::int32_t next_offset_ = 0;
};

void add_session_and_timing(TableBuilder& t) {
  t.add("SessionTime", Type::float64, "s", "Seconds since the session started", follow(SignalKind::session_time));
  t.add("SessionTick", Type::integer, "", "Simulation tick of this row", follow(SignalKind::session_tick));
  t.add("SessionNumber", Type::integer, "", "Index of the running session", constant(2));
  t.add("SessionState", Type::integer, "", "Phase of the running session", constant(4));
  t.add("SessionFlags", Type::bitfield, "", "Flags shown to the driver", wave(4, 0, 60));
  t.add("SessionTimeLeft", Type::float64, "s", "Seconds left in the session", wave(2700, 300, 4000, 0.01));
  t.add("SessionLapsLeft", Type::integer, "", "Laps left in the session", wave(24, 2, 900));
  t.add("SessionLapsTotal", Type::integer, "", "Laps of the session", constant(30));
  t.add("Lap", Type::integer, "", "Lap being driven", follow(SignalKind::lap));
  t.add("LapsCompleted", Type::integer, "", "Laps completed", follow(SignalKind::lap));
  t.add("LapDist", Type::float32, "m", "Distance from the start line", follow(SignalKind::lap_distance));
  t.add("LapDistPct", Type::float32, "%", "Fraction of the lap driven", follow(SignalKind::lap_fraction));
  t.add("LapTimeCurrent", Type::float32, "s", "Time into the current lap", follow(SignalKind::lap_time));
  t.add("LapTimeLast", Type::float32, "s", "Time of the last lap", follow(SignalKind::last_lap_time));
  t.add("LapTimeBest", Type::float32, "s", "Best lap time of the session", follow(SignalKind::best_lap_time));
  t.add("LapBestNumber", Type::integer, "", "Lap on which the best time was set",
        follow(SignalKind::best_lap_number));
  t.add("LapDeltaBest", Type::float32, "s", "Gap to the best lap at this point", wave(0.3, 0.6, 25, 0.002));
  t.add("LapDeltaBestRate", Type::float32, "s/s", "Change of the gap to the best lap", wave(0, 0.05, 9, 0.001));
  t.add("LapDeltaBestValid", Type::boolean, "", "Whether the gap to the best lap is valid", wave(0.8, 0.5, 70));
  t.add("LapDeltaOptimal", Type::float32, "s", "Gap to the optimal lap at this point", wave(0.8, 0.5, 31, 0.002));
  t.add("LapDeltaSessionBest", Type::float32, "s", "Gap to the session's best lap", wave(1.1, 0.4, 37, 0.002));
  t.add("SectorNumber", Type::integer, "", "Sector being driven", wave(1.5, 1.49, standin_lap_seconds));
  t.add("SectorTimes", Type::float32, "s", "Times of the sectors of the last lap", wave(34, 4, 500), 3);
  t.add("Position", Type::integer, "", "Position in the session", wave(7, 2, 400));
  t.add("ClassPosition", Type::integer, "", "Position in the car class", wave(4, 1, 400));
  t.add("Incidents", Type::integer, "", "Incident points of the driver", wave(2, 2, 900));
  t.add("TeamIncidents", Type::integer, "", "Incident points of the team", wave(3, 3, 900));
  t.add("TrackSurface", Type::integer, "", "Kind of surface under the car", constant(3));
  t.add("TrackSurfaceMaterial", Type::integer, "", "Material under the car", wave(2, 1.4, 40));
  t.add("OnPitRoad", Type::boolean, "", "Car is on the pit road", constant(0));
  t.add("IsOnTrack", Type::boolean, "", "Car is on the track and driven", constant(1));
  t.add("IsInGarage", Type::boolean, "", "Driver is in the garage", constant(0));
  t.add("IsReplayPlaying", Type::boolean, "", "A replay is playing", constant(0));
  t.add("ReplayFrame", Type::integer, "", "Frame of the replay buffer", follow(SignalKind::session_tick));
  t.add("PlayerCarIndex", Type::integer, "", "Index of the driver's car", constant(5));
  t.add("PlayerCarClass", Type::integer, "", "Class of the driver's car", constant(1));
  t.add("RaceLapsLed", Type::integer, "", "Laps led in the race", constant(0));
}

void add_driver_and_motion(TableBuilder& t) {
  t.add("Speed", Type::float32, "m/s", "Ground speed", follow(SignalKind::speed, 0.05));
  t.add("RPM", Type::float32, "revs/min", "Engine speed", follow(SignalKind::engine_speed, 4));
  t.add("Gear", Type::integer, "", "Gear engaged, -1 reverse, 0 neutral", follow(SignalKind::gear));
  t.add("Throttle", Type::float32, "%", "Throttle pedal, 0 released to 1 pressed", follow(SignalKind::throttle));
  t.add("Brake", Type::float32, "%", "Brake pedal, 0 released to 1 pressed", follow(SignalKind::brake));
  t.add("Clutch", Type::float32, "%", "Clutch pedal, 0 released to 1 pressed", constant(0));
  t.add("ThrottleRaw", Type::float32, "%", "Throttle pedal before assists", follow(SignalKind::throttle, 0.003));
  t.add("BrakeRaw", Type::float32, "%", "Brake pedal before assists", follow(SignalKind::brake, 0.003));
  t.add("ClutchRaw", Type::float32, "%", "Clutch pedal before assists", constant(0));
  t.add("HandbrakeRaw", Type::float32, "%", "Handbrake lever", constant(0));
  t.add("SteeringAngle", Type::float32, "rad", "Steering wheel angle", wave(0, 1.2, 17, 0.004));
  t.add("SteeringAngleMax", Type::float32, "rad", "Steering wheel lock", constant(7.85));
  t.add("SteeringTorque", Type::float32, "N*m", "Torque on the steering column", wave(0, 9, 17, 0.2));
  t.add("SteeringTorquePct", Type::float32, "%", "Force feedback used", wave(0.4, 0.3, 17, 0.01));
  t.add("ShiftLightPct", Type::float32, "%", "Shift light fill", wave(0.5, 0.5, 3, 0.01));
  t.add("Yaw", Type::float32, "rad", "Heading relative to north", wave(0, 3.1, standin_lap_seconds));
  t.add("Pitch", Type::float32, "rad", "Pitch of the car", wave(0, 0.02, 5, 0.0005));
  t.add("Roll", Type::float32, "rad", "Roll of the car", wave(0, 0.03, 6, 0.0005));
  t.add("YawRate", Type::float32, "rad/s", "Rate of yaw", wave(0, 0.6, 11, 0.01));
  t.add("PitchRate", Type::float32, "rad/s", "Rate of pitch", wave(0, 0.05, 4, 0.005));
  t.add("RollRate", Type::float32, "rad/s", "Rate of roll", wave(0, 0.07, 4, 0.005));
  t.add("VelocityX", Type::float32, "m/s", "Velocity along the car", follow(SignalKind::speed, 0.05));
  t.add("VelocityY", Type::float32, "m/s", "Velocity across the car", wave(0, 0.8, 9, 0.02));
  t.add("VelocityZ", Type::float32, "m/s", "Vertical velocity", wave(0, 0.1, 3, 0.01));
  t.add("AccelLong", Type::float32, "m/s^2", "Longitudinal acceleration", wave(0, 14, 8, 0.3));
  t.add("AccelLat", Type::float32, "m/s^2", "Lateral acceleration", wave(0, 19, 11, 0.3));
  t.add("AccelVert", Type::float32, "m/s^2", "Vertical acceleration", wave(9.81, 1.5, 2, 0.4));
  t.add("Altitude", Type::float32, "m", "Height above sea level", wave(312, 14, standin_lap_seconds));
  t.add("Latitude", Type::float64, "deg", "Latitude of the car", wave(50.33, 0.004, standin_lap_seconds));
  t.add("Longitude", Type::float64, "deg", "Longitude of the car", wave(6.94, 0.006, standin_lap_seconds));
}

void add_engine_and_car(TableBuilder& t) {
  t.add("FuelLevel", Type::float32, "l", "Fuel in the tank", wave(52, 10, 4000, 0.001));
  t.add("FuelLevelPct", Type::float32, "%", "Fuel in the tank as a fraction", wave(0.52, 0.1, 4000));
  t.add("FuelUsePerHour", Type::float32, "kg/h", "Fuel flow", wave(60, 25, 8, 0.5));
  t.add("FuelPressure", Type::float32, "bar", "Fuel pressure", wave(4.2, 0.1, 20, 0.01));
  t.add("OilTemp", Type::float32, "C", "Engine oil temperature", wave(104, 4, 600, 0.02));
  t.add("OilPressure", Type::float32, "bar", "Engine oil pressure", wave(5.1, 0.8, 8, 0.02));
  t.add("OilLevel", Type::float32, "l", "Engine oil level", constant(6.2));
  t.add("WaterTemp", Type::float32, "C", "Coolant temperature", wave(88, 3, 700, 0.02));
  t.add("WaterLevel", Type::float32, "l", "Coolant level", constant(8.4));
  t.add("ManifoldPressure", Type::float32, "bar", "Intake manifold pressure", wave(1.1, 0.5, 8, 0.01));
  t.add("BatteryVoltage", Type::float32, "V", "Electrical system voltage", wave(13.8, 0.2, 30, 0.01));
  t.add("EngineWarnings", Type::bitfield, "", "Engine warning lights", constant(0));
  t.add("EngineTorque", Type::float32, "N*m", "Engine torque", wave(410, 120, 8, 2));
  t.add("EnginePower", Type::float32, "W", "Engine power", wave(280000, 90000, 8, 500));
  t.add("TurboBoost", Type::float32, "bar", "Turbo boost pressure", wave(0.9, 0.6, 8, 0.01));
  t.add("BrakeBias", Type::float32, "%", "Brake balance to the front", constant(0.565));
  t.add("AntiRollFront", Type::float32, "", "Front anti-roll bar setting", constant(4));
  t.add("AntiRollRear", Type::float32, "", "Rear anti-roll bar setting", constant(3));
  t.add("TractionControl", Type::integer, "", "Traction control setting", constant(3));
  t.add("AbsSetting", Type::integer, "", "Anti-lock brake setting", constant(2));
  t.add("AbsActive", Type::boolean, "", "Anti-lock brakes are working", wave(0.3, 0.6, 6));
  t.add("EngineMap", Type::integer, "", "Engine map setting", constant(1));
  t.add("PushToPassLeft", Type::integer, "", "Push-to-pass uses left", constant(10));
  t.add("PushToPassActive", Type::boolean, "", "Push-to-pass is active", constant(0));
  t.add("DragReductionState", Type::integer, "", "Drag reduction: 0 off, 1 ready, 2 open", wave(0.7, 1.2, 50));
  t.add("PitLimiterOn", Type::boolean, "", "Pit speed limiter is on", constant(0));
  t.add("HeadlightsOn", Type::boolean, "", "Headlights are on", constant(1));
  t.add("WipersOn", Type::boolean, "", "Wipers are on", constant(0));
  t.add("IgnitionOn", Type::boolean, "", "Ignition is on", constant(1));
  t.add("StarterOn", Type::boolean, "", "Starter is turning", constant(0));
  t.add("EnergyStoreLevel", Type::float32, "%", "Charge of the hybrid store", wave(0.6, 0.3, 60, 0.001));
  t.add("EnergyDeployPct", Type::float32, "%", "Hybrid power deployed", wave(0.4, 0.4, 8, 0.01));
  t.add("EnergyHarvestPct", Type::float32, "%", "Hybrid power harvested", wave(0.3, 0.3, 8, 0.01));
  t.add("EnergyMode", Type::integer, "", "Hybrid deployment mode", constant(2));
  t.add("TyreCompound", Type::integer, "", "Tyre compound fitted", constant(1));
  t.add("TyreSetsUsed", Type::integer, "", "Tyre sets used", constant(2));
  t.add("TyreSetsLeft", Type::integer, "", "Tyre sets left", constant(4));
  t.add("FastRepairsLeft", Type::integer, "", "Fast repairs left", constant(1));
}

void add_pit_and_environment(TableBuilder& t) {
  t.add("PitRequested", Type::boolean, "", "A pit stop is requested", constant(0));
  t.add("PitStopActive", Type::boolean, "", "The car is being serviced", constant(0));
  t.add("PitServiceFlags", Type::bitfield, "", "Services asked for at the next stop", constant(0x1f));
  t.add("PitFuelToAdd", Type::float32, "l", "Fuel to add at the next stop", constant(40));
  t.add("PitRepairLeft", Type::float32, "s", "Time of mandatory repairs left", constant(0));
  t.add("PitOptionalRepairLeft", Type::float32, "s", "Time of optional repairs left", constant(0));
  t.add("PitStopCount", Type::integer, "", "Pit stops made", constant(1));
  t.add("PitSpeedLimit", Type::float32, "m/s", "Speed limit on the pit road", constant(22.22));
  t.add("AirTemp", Type::float32, "C", "Air temperature", wave(21.5, 0.5, 3000, 0.001));
  t.add("TrackTemp", Type::float32, "C", "Track surface temperature", wave(31, 1.5, 3000, 0.001));
  t.add("AirPressure", Type::float32, "Pa", "Air pressure", wave(101300, 40, 3000));
  t.add("AirDensity", Type::float32, "kg/m^3", "Air density", wave(1.2, 0.01, 3000));
  t.add("RelativeHumidity", Type::float32, "%", "Relative humidity", wave(0.55, 0.05, 3000));
  t.add("WindSpeed", Type::float32, "m/s", "Wind speed", wave(3, 1.5, 45, 0.02));
  t.add("WindDirection", Type::float32, "rad", "Wind direction", wave(1.6, 0.3, 120, 0.001));
  t.add("FogLevel", Type::float32, "%", "Fog density", constant(0));
  t.add("Precipitation", Type::float32, "%", "Rain intensity", constant(0));
  t.add("TrackWetness", Type::integer, "", "Wetness of the track, 1 dry", constant(1));
  t.add("Skies", Type::integer, "", "Cloud cover", constant(1));
  t.add("TimeOfDay", Type::float32, "s", "Time of day at the track", follow(SignalKind::session_time));
  t.add("DayOfYear", Type::integer, "", "Day of the year at the track", constant(171));
  t.add("FrameRate", Type::float32, "fps", "Frames drawn per second", wave(118, 6, 7, 1.5));
  t.add("ProcessorUsage", Type::float32, "%", "Processor time of the simulation", wave(0.35, 0.05, 9, 0.01));
  t.add("GraphicsUsage", Type::float32, "%", "Graphics processor load", wave(0.7, 0.1, 9, 0.01));
  t.add("NetworkLatency", Type::float32, "s", "Round trip to the server", wave(0.034, 0.004, 13, 0.001));
  t.add("NetworkQuality", Type::float32, "%", "Share of packets that arrived", wave(0.99, 0.01, 13));
  t.add("CameraCarIndex", Type::integer, "", "Car the camera follows", constant(5));
  t.add("CameraGroup", Type::integer, "", "Camera group in use", constant(9));
  t.add("CameraNumber", Type::integer, "", "Camera in the group", constant(1));
  t.add("CameraState", Type::bitfield, "", "Camera tool state", constant(0x4));
  t.add("ReplaySpeed", Type::integer, "", "Replay speed factor", constant(1));
  t.add("ReplaySlowMotion", Type::boolean, "", "Replay plays in slow motion", constant(0));
  t.add("RadioCarIndex", Type::integer, "", "Car transmitting on the radio, -1 none", constant(-1));
  t.add("RadioChannel", Type::integer, "", "Radio channel in use", constant(0));
  t.add("DisplayUnits", Type::integer, "", "0 imperial, 1 metric", constant(1));
  t.add("DriverMarker", Type::boolean, "", "Driver set a marker", constant(0));
  t.add("PushToTalk", Type::boolean, "", "Push-to-talk is pressed", constant(0));
  t.add("ShiftGrind", Type::character, "", "Gear change missed", constant(0));
}

struct Corner {
  const char* prefix;
  const char* words;
};

constexpr Corner corners[] = {
    {"LF", "left front"}, {"RF", "right front"}, {"LR", "left rear"}, {"RR", "right rear"}};

struct CornerQuantity {
  const char* suffix;
  Type type;
  const char* unit;
  const char* what;
  Signal signal;
  std::int32_t count;
};

void add_corners(TableBuilder& t) {
  const CornerQuantity quantities[] = {
      {"TyreTempInner", Type::float32, "C", "Tyre temperature inside", wave(88, 6, 40, 0.05), 1},
      {"TyreTempMiddle", Type::float32, "C", "Tyre temperature middle", wave(85, 5, 40, 0.05), 1},
      {"TyreTempOuter", Type::float32, "C", "Tyre temperature outside", wave(82, 5, 40, 0.05), 1},
      {"TyreSurfaceInner", Type::float32, "C", "Tyre surface temperature inside", wave(95, 15, 6, 0.3), 1},
      {"TyreSurfaceMiddle", Type::float32, "C", "Tyre surface temperature middle", wave(92, 14, 6, 0.3), 1},
      {"TyreSurfaceOuter", Type::float32, "C", "Tyre surface temperature outside", wave(89, 14, 6, 0.3), 1},
      {"TyreWearInner", Type::float32, "%", "Tread left inside", wave(0.9, 0.05, 5000), 1},
      {"TyreWearMiddle", Type::float32, "%", "Tread left middle", wave(0.91, 0.05, 5000), 1},
      {"TyreWearOuter", Type::float32, "%", "Tread left outside", wave(0.92, 0.05, 5000), 1},
      {"TyrePressure", Type::float32, "kPa", "Tyre pressure, hot", wave(172, 4, 60, 0.02), 1},
      {"TyreColdPressure", Type::float32, "kPa", "Tyre pressure, cold", constant(158), 1},
      {"TyreSpeed", Type::float32, "m/s", "Tyre surface speed", follow(SignalKind::speed, 0.1), 1},
      {"BrakeTemp", Type::float32, "C", "Brake disc temperature", wave(420, 180, 9, 1), 1},
      {"BrakePressure", Type::float32, "bar", "Brake line pressure", follow(SignalKind::brake, 0.01), 1},
      {"RideHeight", Type::float32, "m", "Ride height", wave(0.055, 0.01, 3, 0.0003), 1},
      {"ShockDefl", Type::float32, "m", "Damper deflection", wave(0.04, 0.015, 2, 0.0005), 1},
      {"ShockVel", Type::float32, "m/s", "Damper velocity", wave(0, 0.2, 2, 0.01), 1},
      {"WheelLoad", Type::float32, "N", "Vertical load on the wheel", wave(3600, 900, 7, 15), 1},
      {"WheelSlipRatio", Type::float32, "", "Longitudinal slip of the wheel", wave(0, 0.05, 5, 0.002), 1},
      {"WheelSlipAngle", Type::float32, "rad", "Slip angle of the wheel", wave(0, 0.06, 11, 0.001), 1},
      {"Camber", Type::float32, "rad", "Camber angle", wave(-0.05, 0.005, 11), 1},
      {"Toe", Type::float32, "rad", "Toe angle", wave(0.001, 0.0005, 11), 1},
      {"SpringForce", Type::float32, "N", "Spring force", wave(3100, 800, 7, 10), 1},
      {"DamageLevel", Type::float32, "%", "Damage of the corner", constant(0), 1},
      {"ShockDeflHR", Type::float32, "m", "Damper deflection, samples of this row", wave(0.04, 0.015, 2, 0.0005),
       high_rate_samples},
      {"ShockVelHR", Type::float32, "m/s", "Damper velocity, samples of this row", wave(0, 0.2, 2, 0.01),
       high_rate_samples},
  };
  for (const Corner& corner : corners) {
    for (const CornerQuantity& q : quantities) {
      t.add(std::string(corner.prefix) + q.suffix, q.type, q.unit, std::string(q.what) + ", " + corner.words,
            q.signal, q.count);
    }
  }
  t.add("SteeringTorqueHR", Type::float32, "N*m", "Steering column torque, samples of this row",
        wave(0, 9, 17, 0.2), high_rate_samples);
  t.add("AccelVertHR", Type::float32, "m/s^2", "Vertical acceleration, samples of this row",
        wave(9.81, 1.5, 2, 0.4), high_rate_samples);
  t.add("AccelLatHR", Type::float32, "m/s^2", "Lateral acceleration, samples of this row", wave(0, 19, 11, 0.3),
        high_rate_samples);
  t.add("AccelLongHR", Type::float32, "m/s^2", "Longitudinal acceleration, samples of this row",
        wave(0, 14, 8, 0.3), high_rate_samples);
}

void add_car_arrays(TableBuilder& t) {
  const auto cars = [&](const char* name, Type type, const char* unit, const char* description, Signal signal,
                        bool count_as_time = false) {
    t.add(name, type, unit, description, signal, car_slots, count_as_time);
  };
  cars("CarLap", Type::integer, "", "Lap each car is driving", follow(SignalKind::lap));
  cars("CarLapsCompleted", Type::integer, "", "Laps each car completed", follow(SignalKind::lap));
  cars("CarLapDistPct", Type::float32, "%", "Fraction of the lap each car drove", follow(SignalKind::lap_fraction));
  cars("CarPosition", Type::integer, "", "Position of each car", wave(20, 19, 900));
  cars("CarClassPosition", Type::integer, "", "Class position of each car", wave(10, 9, 900));
  cars("CarClass", Type::integer, "", "Class of each car", constant(1));
  cars("CarTrackSurface", Type::integer, "", "Surface under each car", constant(3));
  cars("CarSurfaceMaterial", Type::integer, "", "Material under each car", wave(2, 1.4, 40));
  cars("CarOnPitRoad", Type::boolean, "", "Each car is on the pit road", constant(0));
  cars("CarGear", Type::integer, "", "Gear of each car", follow(SignalKind::gear));
  cars("CarRPM", Type::float32, "revs/min", "Engine speed of each car", follow(SignalKind::engine_speed, 4));
  cars("CarSteer", Type::float32, "rad", "Steering angle of each car", wave(0, 1.2, 17, 0.004));
  cars("CarSpeed", Type::float32, "m/s", "Speed of each car", follow(SignalKind::speed, 0.05));
  cars("CarLapTimeLast", Type::float32, "s", "Last lap time of each car", wave(103.5, 1.5, 700));
  cars("CarLapTimeBest", Type::float32, "s", "Best lap time of each car", wave(102.6, 0.9, 5000));
  cars("CarEstTime", Type::float32, "s", "Estimated time into the lap of each car", follow(SignalKind::lap_time));
  cars("CarGapToLeader", Type::float32, "s", "Gap of each car to the leader", wave(30, 29, 600, 0.01));
  cars("CarPitStops", Type::integer, "", "Pit stops of each car", constant(1));
  cars("CarTyreCompound", Type::integer, "", "Tyre compound of each car", constant(1));
  cars("CarFlags", Type::bitfield, "", "Flags shown to each car", constant(0));
  cars("CarPushToPass", Type::boolean, "", "Push-to-pass is active on each car", constant(0));
  cars("CarSessionTicks", Type::integer, "", "Tick each car's data was taken", follow(SignalKind::session_tick),
       true);
}

std::vector<StandinVariable> build_table() {
  TableBuilder table;
  add_session_and_timing(table);
  add_driver_and_motion(table);
  add_engine_and_car(table);
  add_pit_and_environment(table);
  add_corners(table);
  add_car_arrays(table);
  return table.finish();
}

void put_text(std::byte* destination, std::size_t capacity, const std::string& text) noexcept {
  std::memset(destination, 0, capacity);
  std::memcpy(destination, text.data(), std::min(text.size(), capacity - 1));
}

// A well-mixed 64-bit value of its input (splitmix64's finaliser).
std::uint64_t mix(std::uint64_t value) noexcept {
  value += 0x9e3779b97f4a7c15ULL;
  value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
  value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
  return value ^ (value >> 31);
}

// Uniform in [-1, 1), the same for the same tick, variable and element.
double noise_at(std::int32_t tick, std::size_t variable, std::int32_t element) noexcept {
  const std::uint64_t key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(tick)) << 32) ^
                            (static_cast<std::uint64_t>(variable) << 8) ^ static_cast<std::uint64_t>(element);
  return static_cast<double>(mix(key) >> 11) * 0x1.0p-52 - 1.0;
}

double value_of(const Signal& signal, double seconds, std::int32_t tick, std::size_t variable,
                std::int32_t element, const StandinLaps& laps) noexcept {
  // Cars in the arrays, and samples of high-rate arrays, sit at other times.
  const double car_seconds = seconds - element * car_spacing_seconds;
  double value = 0.0;
  switch (signal.kind) {
    case SignalKind::constant:
      return signal.base;
    case SignalKind::session_time:
      return seconds;
    case SignalKind::session_tick:
      return tick;
    case SignalKind::wave: {
      const double phase = static_cast<double>(variable) * 0.7 + element * 0.45;
      value = signal.base + signal.amplitude * std::sin(2.0 * std::numbers::pi * car_seconds /
                                                            signal.period_seconds + phase);
      break;
    }
    default: {
      const Drive d = laps.drive_at(car_seconds);
      switch (signal.kind) {
        case SignalKind::lap: value = d.lap_number; break;
        case SignalKind::lap_fraction: value = d.lap_fraction; break;
        case SignalKind::lap_distance: value = d.lap_fraction * standin_track_length_metres; break;
        case SignalKind::lap_time: value = d.lap_time; break;
        case SignalKind::speed: value = d.speed; break;
        case SignalKind::engine_speed: value = d.engine_speed; break;
        case SignalKind::gear: value = d.gear; break;
        case SignalKind::throttle: value = d.throttle; break;
        case SignalKind::brake: value = d.brake; break;
        case SignalKind::last_lap_time: value = d.last_lap_time; break;
        case SignalKind::best_lap_time: value = d.best_lap_time; break;
        case SignalKind::best_lap_number: value = d.best_lap_number; break;
        default: break;
      }
    }
  }
  return value + signal.noise * noise_at(tick, variable, element);
}

std::int32_t to_int32(double value) noexcept {
  if (!(value == value)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::round(value), -2147483648.0, 2147483647.0));
}

void store(std::byte* destination, VariableType type, double value) noexcept {
  switch (type) {
    case VariableType::character:
      *destination = static_cast<std::byte>(static_cast<std::uint8_t>(to_int32(value)));
      break;
    case VariableType::boolean:
      *destination = static_cast<std::byte>(value > 0.5 ? 1 : 0);
      break;
    case VariableType::integer:
    case VariableType::bitfield:
      coding::encode_i32(destination, to_int32(value));
      break;
    case VariableType::float32:
      coding::encode_f32(destination, static_cast<float>(value));
      break;
    case VariableType::float64:
      coding::encode_u64(destination, std::bit_cast<std::uint64_t>(value));
      break;
  }
}

}  // namespace

const std::vector<StandinVariable>& standin_variables() {
  static const std::vector<StandinVariable> table = build_table();
  return table;
}

std::int32_t standin_row_length(const std::vector<StandinVariable>& variables) noexcept {
  std::int32_t end = 0;
  for (const StandinVariable& v : variables) {
    end = std::max(end, v.row_offset + variable_type_size(v.type) * v.count);
  }
  return (end + 15) / 16 * 16;
}

void encode_variable_header(std::byte* destination, const StandinVariable& variable) noexcept {
  std::memset(destination, 0, variable_header_size);
  coding::encode_i32(destination + 0, static_cast<std::int32_t>(variable.type));
  coding::encode_i32(destination + 4, variable.row_offset);
  coding::encode_i32(destination + 8, variable.count);
  destination[12] = static_cast<std::byte>(variable.count_as_time ? 1 : 0);
  put_text(destination + variable_name_offset, variable_name_capacity, variable.name);
  put_text(destination + variable_description_offset, variable_description_capacity, variable.description);
  put_text(destination + variable_unit_offset, variable_unit_capacity, variable.unit);
}

void encode_variable_headers(std::span<std::byte> destination, const std::vector<StandinVariable>& variables) {
  if (destination.size() < variables.size() * variable_header_size) {
    throw std::length_error("the variable headers do not fit their room");
  }
  for (std::size_t i = 0; i < variables.size(); ++i) {
    encode_variable_header(destination.data() + i * variable_header_size, variables[i]);
  }
}

void fill_standin_row(std::span<std::byte> row, const std::vector<StandinVariable>& variables, std::int32_t tick,
                      double tick_rate) {
  static const StandinLaps default_laps;
  fill_standin_row(row, variables, tick, tick_rate, default_laps);
}

void fill_standin_row(std::span<std::byte> row, const std::vector<StandinVariable>& variables, std::int32_t tick,
                      double tick_rate, const StandinLaps& laps) {
  if (row.size() < static_cast<std::size_t>(standin_row_length(variables))) {
    throw std::length_error("the data row is shorter than the variables need");
  }
  const double seconds = tick_rate > 0.0 ? tick / tick_rate : 0.0;
  for (std::size_t index = 0; index < variables.size(); ++index) {
    const StandinVariable& v = variables[index];
    const std::int32_t size = variable_type_size(v.type);
    for (std::int32_t element = 0; element < v.count; ++element) {
      store(row.data() + v.row_offset + element * size, v.type,
            value_of(v.signal, seconds, tick, index, element, laps));
    }
  }
}

}  // namespace iRacing
