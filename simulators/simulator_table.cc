#include "simulators/simulator.h"

#include <array>
#include <memory>

#include "formats/acc_pages.h"
#include "formats/iracing_layout.h"
#include "simulators/acc/acc_connector.h"
#include "simulators/acc/acc_emulator.h"
#include "simulators/iracing/iracing_connector.h"
#include "simulators/iracing/iracing_emulator.h"

namespace vove {

namespace {

template <typename Implementation, typename Base>
std::shared_ptr<Base> make() {
  return std::make_shared<Implementation>();
}

constexpr std::array iracing_objects{
    NamedObject{iracing::memory_map_name, NamedObject::Kind::mapping, iracing::mapping_size},
    NamedObject{iracing::data_valid_event_name, NamedObject::Kind::event, 0},
};

constexpr std::array acc_objects{
    NamedObject{acc::graphics_page.mapping_name, NamedObject::Kind::mapping, acc::graphics_page.image_size},
    NamedObject{acc::physics_page.mapping_name, NamedObject::Kind::mapping, acc::physics_page.image_size},
    NamedObject{acc::static_page.mapping_name, NamedObject::Kind::mapping, acc::static_page.image_size},
};

// Polling order matters: iRacing goes first, ACC after it.
const std::array table{
    Simulator{iracing::iracing_source_id, "iRacing", "iracing", iracing_objects, PayloadCodec::iracing_snapshot,
              make<iracing::Connector, Source>, make<iracing::Emulator, Producer>},
    Simulator{acc::acc_source_id, "ACC", "acc", acc_objects, PayloadCodec::acc_pages, make<acc::Connector, Source>,
              make<acc::Emulator, Producer>},
};

}  // namespace

std::span<const Simulator> simulators() noexcept { return table; }

const Simulator* find_simulator(const SourceId& id) noexcept {
  for (const Simulator& simulator : table) {
    if (simulator.source_id == id) return &simulator;
  }
  return nullptr;
}

const Simulator* find_standin_mode(std::string_view mode) noexcept {
  for (const Simulator& simulator : table) {
    if (simulator.standin_mode == mode) return &simulator;
  }
  return nullptr;
}

std::optional<PayloadCodec> payload_codec(const SourceId& id) noexcept {
  if (const Simulator* simulator = find_simulator(id)) return simulator->payload;
  return std::nullopt;
}

}  // namespace vove
