#include "formats/ac_field_sets.h"

#include <array>

#include "formats/ac1_layout.h"
#include "formats/acc_pages.h"
#include "formats/acevo_layout.h"
#include "formats/named_objects_payload.h"

namespace vove::acc {

namespace {

// ACC's fields that end within `length` bytes of `page`.
void take_fields(std::vector<Field>& fields, Page page, std::size_t below_offset, std::size_t length) {
  for (const Field& field : acc_fields()) {
    if (field.page == page && field.offset < below_offset && field.fits(length)) fields.push_back(field);
  }
}

std::vector<Field> make_ac1_fields() {
  std::vector<Field> fields;
  take_fields(fields, Page::graphics, ac1::car_coordinates_offset, ac1::car_coordinates_offset);
  fields.push_back({Page::graphics, "carCoordinates", FieldType::float32, 3, 1, ac1::car_coordinates_offset, "",
                    "World coordinates of the player's car (x, y, z)"});
  for (const auto& [name, offset] : ac1::moved_graphics_fields) {
    Field field = *find_field(Page::graphics, name);
    field.offset = offset;
    fields.push_back(field);
  }
  take_fields(fields, Page::physics, ac1::largest_physics_size, ac1::largest_physics_size);
  take_fields(fields, Page::static_page, ac1::largest_static_size, ac1::largest_static_size);
  return fields;
}

std::vector<Field> make_acevo_fields() {
  std::vector<Field> fields;
  take_fields(fields, Page::physics, acevo::physics_size, acevo::physics_size);
  return fields;
}

std::span<const std::uint8_t> page_named(const std::vector<NamedObjectView>& objects, std::string_view name) {
  const NamedObjectView* object = name.empty() ? nullptr : find_named_object(objects, name);
  return object == nullptr ? std::span<const std::uint8_t>{} : object->bytes;
}

}  // namespace

const FieldSet* field_set(const SourceId& id) {
  static const std::vector<Field> ac1_fields = make_ac1_fields();
  static const std::vector<Field> acevo_fields = make_acevo_fields();
  static const std::array sets{
      FieldSet{acc_source_id, "ACC", acc_fields(), {}, {}, {}},
      FieldSet{ac1::ac1_source_id, "Assetto Corsa 1", ac1_fields, ac1::graphics_name, ac1::physics_name,
               ac1::static_name},
      FieldSet{acevo::acevo_source_id, "Assetto Corsa EVO", acevo_fields, {}, acevo::physics_name, {}},
  };
  for (const FieldSet& set : sets) {
    if (set.source_id == id) return &set;
  }
  return nullptr;
}

PageBytes pages_of_frame(const FieldSet& set, std::span<const std::uint8_t> payload) {
  if (set.physics_name.empty()) return pages_of_payload(payload);
  const std::vector<NamedObjectView> objects = read_named_objects(payload);
  return {page_named(objects, set.graphics_name), page_named(objects, set.physics_name),
          page_named(objects, set.static_name)};
}

}  // namespace vove::acc
