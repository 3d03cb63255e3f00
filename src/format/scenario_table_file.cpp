#include "format/scenario_table_file.h"

#include <string>
#include <type_traits>

#include "format/decoder.h"
#include "format/le_bytes.h"

namespace sb {

void write_scenario_table(const TableRecords& table, ByteSink& sink) {
  LeWriter out(sink);
  for (const TableRecord& r : table) {
    for_each_slot_field(r, [&out](const char*, const auto& value) {
      if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
        out.put(static_cast<uint16_t>(value.size()));
        out.bytes(value);
      } else {
        out.put(value);
      }
    });
  }
  out.flush();
}

namespace {

// The fields before the text and its length.
constexpr std::size_t kBytesBeforeText = 16;

// Refuses a slot that does not fit in what is left, naming the first
// thing that is cut off.
void check_room(const LeReader& in, int slot) {
  const std::string name = "slot " + std::to_string(slot);
  if (in.left() < kBytesBeforeText) {
    throw DecodeError(in.offset(),
                      name + " is truncated: it needs at least 34 bytes, " + std::to_string(in.left()) + " are left");
  }
  const uint16_t length = in.peek<uint16_t>(kBytesBeforeText - 2);
  if (in.left() >= kSlotFixedBytes + length) return;
  const std::size_t after_length = in.left() - kBytesBeforeText;
  if (after_length < length) {
    throw DecodeError(in.offset() + kBytesBeforeText - 2, name + ": text length " + std::to_string(length) +
                                                              " runs past the end of the file (" +
                                                              std::to_string(after_length) + " bytes left)");
  }
  throw DecodeError(in.offset(), name + " is truncated: it needs " + std::to_string(kSlotFixedBytes + length) +
                                     " bytes, " + std::to_string(in.left()) + " are left");
}

}  // namespace

TableRecords decode_scenario_table(std::string_view bytes) {
  TableRecords table{};
  LeReader in(bytes);
  for (int slot = 0; slot < kTableSlots; ++slot) {
    check_room(in, slot);
    for_each_slot_field(table[static_cast<std::size_t>(slot)], [&in](const char*, auto& value) {
      using Field = std::remove_reference_t<decltype(value)>;
      if constexpr (std::is_same_v<Field, std::string>) {
        value = in.text(in.take<uint16_t>());
      } else {
        value = in.take<Field>();
      }
    });
  }
  if (!in.at_end()) {
    throw DecodeError(in.offset(), std::to_string(in.left()) + (in.left() == 1 ? " trailing byte" : " trailing bytes") +
                                       " after slot 86");
  }
  return table;
}

std::array<std::size_t, kTableSlots> table_slot_offsets(const TableRecords& table) {
  std::array<std::size_t, kTableSlots> offsets{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    offsets[i] = at;
    at += kSlotFixedBytes + table[i].text.size();
  }
  return offsets;
}

}  // namespace sb
