#include "simulators/named_memory/named_objects_producer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "common/explained_error.h"
#include "formats/payload_damage.h"

namespace vove {

namespace {

// A recorded name as a console line may show it: no control characters
// from a file.
std::string printable(std::string_view name) {
  std::string text(name);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) c = '?';
  }
  return text;
}

}  // namespace

void NamedObjectsProducer::prepare(const std::vector<std::uint8_t>& first_payload) {
  planned_.clear();
  try {
    for (const NamedObjectView& object : read_named_objects(first_payload)) {
      planned_.emplace_back(std::string(object.name), object.size);
    }
  } catch (const PayloadDamage&) {
    planned_.clear();  // write_frame() says so when it comes to the frame
  }
}

CreatedObject* NamedObjectsProducer::find(std::string_view name) noexcept {
  for (CreatedObject& object : objects_) {
    if (object.name == name) return &object;
  }
  return nullptr;
}

CreatedObject& NamedObjectsProducer::create(std::string_view name, std::uint32_t size) {
  size = std::max({size, smallest_size(name), std::uint32_t{1}});
  CreatedObject object;
  object.name.assign(name);
  if (!object.page.create_or_open(name, size))
    throw platform_error("Failed to create file mapping", object.page.failure());
  // A name that existed already keeps its size: as much of it as there is.
  const std::uint64_t held = object.page.region_size().value_or(size);
  object.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(held, size));
  if (!object.page.map(platform::Access::write, object.size)) {
    throw platform_error("Failed to map view", object.page.failure());
  }
  objects_.push_back(std::move(object));
  return objects_.back();
}

void NamedObjectsProducer::start() {
  objects_.clear();
  try {
    for (const auto& [name, size] : planned_) create(name, size);
    for (const std::string_view name : standing_names()) {
      if (find(name) == nullptr) create(name, 0);
    }
  } catch (...) {
    objects_.clear();
    throw;
  }
  started_ = true;
  pass_begins_ = true;
}

void NamedObjectsProducer::write_frame(const std::vector<std::uint8_t>& payload) {
  if (!started_) return;
  std::vector<NamedObjectView> recorded;
  try {
    recorded = read_named_objects(payload);
  } catch (const PayloadDamage& damage) {
    if (!reported_damage_)
      std::cout << "A frame that holds no named objects is skipped: " << damage.what() << std::endl;
    reported_damage_ = true;
    return;
  }
  for (const NamedObjectView& object : recorded) {
    CreatedObject* target = find(object.name);
    if (target == nullptr) {
      // A recording naming ever new objects must not make the replay create
      // them without end.
      if (objects_.size() >= max_named_objects) {
        if (!reported_excess_)
          std::cout << "Objects beyond the first " << max_named_objects << " are not replayed" << std::endl;
        reported_excess_ = true;
        continue;
      }
      // A name the system refuses (a recording's, not the simulator's) costs
      // that object, not the replay.
      try {
        target = &create(object.name, object.size);
      } catch (const std::runtime_error& error) {
        if (!reported_uncreatable_)
          std::cout << "An object that cannot be created is skipped: " << printable(object.name) << ": " << error.what()
                    << std::endl;
        reported_uncreatable_ = true;
        continue;
      }
    }
    write_object(*target, object, pass_begins_);
  }
  pass_begins_ = false;
}

std::uint32_t NamedObjectsProducer::smallest_size(std::string_view name) const {
  for (const StandingObject& object : standing_) {
    if (object.name == name) return object.smallest_size;
  }
  return 0;
}

std::vector<std::string_view> NamedObjectsProducer::standing_names() const {
  std::vector<std::string_view> names;
  for (const StandingObject& object : standing_) names.push_back(object.name);
  return names;
}

void NamedObjectsProducer::write_object(CreatedObject& target, const NamedObjectView& recorded, bool) {
  copy_plain(target, recorded.bytes);
}

void NamedObjectsProducer::copy_plain(CreatedObject& target, std::span<const std::uint8_t> recorded) noexcept {
  const std::span<std::uint8_t> bytes = target.bytes();
  std::memcpy(bytes.data(), recorded.data(), std::min(bytes.size(), recorded.size()));
}

void NamedObjectsProducer::stop() {
  if (!started_) return;
  for (CreatedObject& object : objects_) finish_object(object);
  objects_.clear();
  started_ = false;
}

}  // namespace vove
