#include "simulators/simulator.h"

#include <array>
#include <memory>

#include "formats/ac1_layout.h"
#include "formats/acc_pages.h"
#include "formats/acevo_layout.h"
#include "formats/iracing_layout.h"
#include "formats/lmu_layout.h"
#include "formats/pcars2_layout.h"
#include "formats/r3e_layout.h"
#include "formats/rf1_layout.h"
#include "formats/rf2_layout.h"
#include "simulators/ac1/ac1_connector.h"
#include "simulators/ac1/ac1_emulator.h"
#include "simulators/acc/acc_connector.h"
#include "simulators/acc/acc_emulator.h"
#include "simulators/acevo/acevo_connector.h"
#include "simulators/acevo/acevo_emulator.h"
#include "simulators/iracing/iracing_connector.h"
#include "simulators/iracing/iracing_emulator.h"
#include "simulators/lmu/lmu_connector.h"
#include "simulators/lmu/lmu_emulator.h"
#include "simulators/pcars2/pcars2_connector.h"
#include "simulators/pcars2/pcars2_emulator.h"
#include "simulators/r3e/r3e_connector.h"
#include "simulators/r3e/r3e_emulator.h"
#include "simulators/rf1/rf1_connector.h"
#include "simulators/rf1/rf1_emulator.h"
#include "simulators/rf2/rf2_connector.h"
#include "simulators/rf2/rf2_emulator.h"
#include "simulators/shm/shm_connector.h"
#include "simulators/shm/shm_emulator.h"

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

constexpr std::array ac1_objects{
    NamedObject{ac1::graphics_name, NamedObject::Kind::mapping, ac1::largest_graphics_size},
    NamedObject{ac1::physics_name, NamedObject::Kind::mapping, ac1::largest_physics_size},
    NamedObject{ac1::static_name, NamedObject::Kind::mapping, ac1::largest_static_size},
};

constexpr std::array acevo_objects{
    NamedObject{acevo::physics_name, NamedObject::Kind::mapping, acevo::physics_size},
    NamedObject{acevo::graphics_name, NamedObject::Kind::mapping, acevo::graphics_size},
    NamedObject{acevo::static_name, NamedObject::Kind::mapping, acevo::static_size},
};

constexpr std::array lmu_objects{
    NamedObject{lmu::data_name, NamedObject::Kind::mapping, lmu::data_size},
    NamedObject{lmu::data_event_name, NamedObject::Kind::event, 0},
    NamedObject{lmu::lock_name, NamedObject::Kind::mapping, lmu::lock_size},
    NamedObject{lmu::lock_event_name, NamedObject::Kind::event, 0},
};

constexpr auto rf2_objects = [] {
  std::array<NamedObject, rf2::buffers.size()> objects{};
  for (std::size_t i = 0; i < objects.size(); ++i)
    objects[i] = {rf2::buffers[i].name, NamedObject::Kind::mapping, rf2::buffers[i].size};
  return objects;
}();

constexpr std::array pcars2_objects{
    NamedObject{pcars2::mapping_name, NamedObject::Kind::mapping, pcars2::largest_layout_size},
};

constexpr std::array r3e_objects{
    NamedObject{r3e::mapping_name, NamedObject::Kind::mapping, r3e::largest_layout_size},
};

constexpr std::array rf1_objects{
    NamedObject{rf1::mapping_name, NamedObject::Kind::mapping, rf1::layout_size},
};

// Polling order matters: iRacing goes first, ACC after it, then the others.
// ACC and Assetto Corsa 1 share their pages' names; each source takes only
// pages that tell its own title.
const std::array table{
    Simulator{iracing::iracing_source_id, "iRacing", "iracing", iracing_objects, PayloadCodec::iracing_snapshot,
              make<iracing::Connector, Source>, make<iracing::Emulator, Producer>},
    Simulator{acc::acc_source_id, "ACC", "acc", acc_objects, PayloadCodec::acc_pages, make<acc::Connector, Source>,
              make<acc::Emulator, Producer>},
    Simulator{ac1::ac1_source_id, "Assetto Corsa 1", "ac1", ac1_objects, PayloadCodec::named_objects,
              make<ac1::Connector, Source>, make<ac1::Emulator, Producer>, ac1::layout_version},
    Simulator{acevo::acevo_source_id, "Assetto Corsa EVO", "acevo", acevo_objects, PayloadCodec::named_objects,
              make<acevo::Connector, Source>, make<acevo::Emulator, Producer>},
    // Before rFactor 2: a session that publishes the rF2 plugin's buffers
    // beside its own is recorded as Le Mans Ultimate.
    Simulator{lmu::lmu_source_id, "Le Mans Ultimate", "lmu", lmu_objects, PayloadCodec::named_objects,
              make<lmu::Connector, Source>, make<lmu::Emulator, Producer>, lmu::layout_version},
    Simulator{rf2::rf2_source_id, "rFactor 2", "rf2", rf2_objects, PayloadCodec::named_objects,
              make<rf2::Connector, Source>, make<rf2::Emulator, Producer>, rf2::layout_version},
    Simulator{pcars2::pcars2_source_id, "Automobilista 2 / Project CARS 2 / 3", "ams2", pcars2_objects,
              PayloadCodec::named_objects, make<pcars2::Connector, Source>, make<pcars2::Emulator, Producer>,
              pcars2::layout_version},
    Simulator{r3e::r3e_source_id, "RaceRoom", "r3e", r3e_objects, PayloadCodec::named_objects,
              make<r3e::Connector, Source>, make<r3e::Emulator, Producer>, r3e::layout_version},
    Simulator{rf1::rf1_source_id, "rFactor 1 / Automobilista 1", "rf1", rf1_objects, PayloadCodec::named_objects,
              make<rf1::Connector, Source>, make<rf1::Emulator, Producer>, rf1::layout_version},
    Simulator{shm::shm_source_id,
              "named shared memory",
              "",
              {},
              PayloadCodec::named_objects,
              nullptr,
              make<shm::Emulator, Producer>},
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
    if (!mode.empty() && simulator.standin_mode == mode) return &simulator;
  }
  return nullptr;
}

std::optional<PayloadCodec> payload_codec(const SourceId& id) noexcept {
  if (const Simulator* simulator = find_simulator(id)) return simulator->payload;
  return std::nullopt;
}

}  // namespace vove
