// The replay's side of the simulators whose frames carry named objects:
// creates each object under its recorded name at its recorded size (never
// smaller than the largest layout readers are known to map) and writes
// each frame's bytes into it. How a frame is written, so that a reader
// following the simulator's protocol never sees it half done, and what a
// stopped simulator leaves behind, is each simulator's own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/platform/mapped_page.h"
#include "formats/named_objects_payload.h"
#include "simulators/producer.h"

namespace vove {

// One object the replay created.
struct CreatedObject {
  std::string name;
  platform::MappedPage page;
  std::uint32_t size = 0;  // bytes that may be written from the start
  std::span<std::uint8_t> bytes() const noexcept {
    return {reinterpret_cast<std::uint8_t*>(page.data()), page.is_mapped() ? size : 0u};
  }
};

// An object the simulator always publishes, created at start() even when
// the first frame lacks it, and the size below which it is never created:
// the largest layout readers are known to map.
struct StandingObject {
  std::string_view name;
  std::uint32_t smallest_size = 0;
};

class NamedObjectsProducer : public Producer {
 public:
  NamedObjectsProducer() = default;
  explicit NamedObjectsProducer(std::vector<StandingObject> standing) : standing_(std::move(standing)) {}
  NamedObjectsProducer(const NamedObjectsProducer&) = delete;
  NamedObjectsProducer& operator=(const NamedObjectsProducer&) = delete;

  void prepare(const std::vector<std::uint8_t>& first_payload) override;
  // Creates the objects of the first frame, and those the simulator
  // always has. Throws std::runtime_error and holds nothing on failure.
  void start() override;
  // Writes each object the frame carries; an object first seen here is
  // created now, or skipped when the system refuses it. A frame that is no
  // named-object frame is skipped. Each says so in one line the first time.
  void write_frame(const std::vector<std::uint8_t>& payload) override;
  void begin_pass() override { pass_begins_ = true; }
  // Leaves what a reader expects of a stopped simulator, then releases.
  void stop() override;

 protected:
  // The size below which `name` is never created: the largest layout
  // readers are known to map. 0 for names the simulator does not have.
  // By default a standing object's.
  virtual std::uint32_t smallest_size(std::string_view name) const;
  // Names created at start() even when the first frame lacks them; by
  // default the standing objects'.
  virtual std::vector<std::string_view> standing_names() const;
  // Writes one recorded object into its created one; `pass_begins` for
  // the first frame of a pass. The default copies the bytes as they are.
  virtual void write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins);
  // Called for every created object before the objects are released.
  virtual void finish_object(CreatedObject& target) { (void)target; }

  // Copies what fits of `recorded` to the start of `target`.
  static void copy_plain(CreatedObject& target, std::span<const std::uint8_t> recorded) noexcept;

 private:
  CreatedObject* find(std::string_view name) noexcept;
  // Creates and maps `name` with at least `size` bytes; throws on failure.
  CreatedObject& create(std::string_view name, std::uint32_t size);

  std::vector<StandingObject> standing_;
  std::vector<std::pair<std::string, std::uint32_t>> planned_;  // from prepare()
  std::vector<CreatedObject> objects_;
  bool started_ = false;
  bool pass_begins_ = true;
  bool reported_damage_ = false;
  bool reported_excess_ = false;
  bool reported_uncreatable_ = false;
};

}  // namespace vove
