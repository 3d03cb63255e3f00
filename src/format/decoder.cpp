#include "format/decoder.h"

#include <bit>
#include <cstring>

#include "format/le_writer.h"
#include "format/plan_stream.h"

namespace sb {
namespace {

// Little-endian reads from a byte range; every read checks its room first.
class LeReader {
 public:
  explicit LeReader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t offset() const { return at_; }
  std::size_t left() const { return bytes_.size() - at_; }
  bool at_end() const { return at_ == bytes_.size(); }

  uint8_t u8() { return static_cast<uint8_t>(take(1)); }
  uint16_t u16() { return static_cast<uint16_t>(take(2)); }
  int16_t i16() { return static_cast<int16_t>(u16()); }
  int32_t i32() { return static_cast<int32_t>(static_cast<uint32_t>(take(4))); }
  double f64() { return std::bit_cast<double>(take(8)); }
  std::string text(std::size_t size) {
    std::string s(bytes_.substr(at_, size));
    at_ += size;
    return s;
  }

 private:
  // The caller has checked that `size` bytes are left.
  uint64_t take(std::size_t size) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i)
      v |= static_cast<uint64_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
    at_ += size;
    return v;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
};

std::size_t element_bytes(uint16_t tag) {
  switch (tag) {
    case plan_tag::kWhole: return 4;
    case plan_tag::kReal: return 10;
    default: return 2;
  }
}

}  // namespace

std::string format_decode_error(const std::string& file, const DecodeError& e) {
  return file + ": offset " + std::to_string(e.offset()) + ": error: " + e.what();
}

std::vector<CellRecord> decode_track_cells(std::string_view bytes) {
  if (bytes.empty()) throw DecodeError(0, "empty file: a track cell file holds at least one 15-byte cell");
  if (bytes.size() % kCellBytes != 0) {
    const std::size_t whole = bytes.size() / kCellBytes;
    throw DecodeError(whole * kCellBytes, "file size " + std::to_string(bytes.size()) +
                                              " is not a multiple of the 15-byte cell: cell " +
                                              std::to_string(whole) + " is cut off after " +
                                              std::to_string(bytes.size() % kCellBytes) + " bytes");
  }
  std::vector<CellRecord> cells(bytes.size() / kCellBytes);
  LeReader in(bytes);
  for (CellRecord& c : cells) {
    c.kind = in.u8();
    c.value = in.i16();
    c.value_2 = in.i16();
    c.value_3 = in.i16();
    c.value_4 = in.i16();
    c.signal_time = in.u8();
    c.approach_mark = in.u8();
    c.montagna_type = in.u8();
    c.speed_code = in.u8();
    c.gradient = in.u8();
    c.adhesion = in.u8();
  }
  return cells;
}

TableRecords decode_scenario_table(std::string_view bytes) {
  TableRecords table{};
  LeReader in(bytes);
  for (int slot = 0; slot < kTableSlots; ++slot) {
    const std::size_t start = in.offset();
    const std::string name = "slot " + std::to_string(slot);
    // The fields up to the text length first, so that a length running
    // past the end is named as such.
    if (in.left() < 16) {
      throw DecodeError(start, name + " is truncated: it needs at least 34 bytes, " + std::to_string(in.left()) +
                                   " are left");
    }
    TableRecord& r = table[static_cast<std::size_t>(slot)];
    r.kind = in.u8();
    r.start = in.i32();
    r.end = in.i32();
    r.position = in.i32();
    r.attribute_4 = in.u8();
    const std::size_t length_at = in.offset();
    const uint16_t length = in.u16();
    // The 18 bytes after the text are still to come.
    if (in.left() < static_cast<std::size_t>(length) + (kSlotFixedBytes - 16)) {
      if (in.left() < length) {
        throw DecodeError(length_at, name + ": text length " + std::to_string(length) +
                                         " runs past the end of the file (" + std::to_string(in.left()) +
                                         " bytes left)");
      }
      throw DecodeError(start, name + " is truncated: it needs " + std::to_string(kSlotFixedBytes + length) +
                                   " bytes, " + std::to_string(in.left() + 16) + " are left");
    }
    r.text = in.text(length);
    r.attribute_7 = in.i16();
    r.attribute_8 = in.i16();
    r.attribute_10 = in.i16();
    r.attribute_11 = in.i16();
    r.attribute_12 = in.i16();
    r.attribute_9 = in.u8();
    r.attribute_13 = in.u8();
    r.end_extension = in.u8();
    r.attribute_5 = in.u8();
    r.time = in.i32();
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

bool PlanElement::operator==(const PlanElement& other) const {
  if (tag != other.tag) return false;
  if (tag == plan_tag::kEmpty) return true;
  if (tag == plan_tag::kWhole) return static_cast<int16_t>(value) == static_cast<int16_t>(other.value);
  return std::bit_cast<uint64_t>(value) == std::bit_cast<uint64_t>(other.value);
}

DecodedPlan decode_line_plan(std::string_view bytes) {
  const LinePlanStream stream(std::make_shared<MemoryPlanBytes>(std::string(bytes)));
  DecodedPlan plan;
  plan.first.reserve(stream.metres());
  plan.second.reserve(stream.metres());
  LinePlanStream::Cursor cursor = stream.cursor();
  for (PlanMetre m; cursor.next(m);) {
    plan.first.push_back(m.first);
    plan.second.push_back(m.second);
  }
  return plan;
}

std::size_t plan_half_bytes(const std::vector<PlanElement>& half) {
  std::size_t size = 0;
  for (const PlanElement& e : half) size += element_bytes(e.tag);
  return size;
}

void encode_line_plan(const DecodedPlan& plan, ByteSink& sink) {
  LeWriter out(sink);
  for (const auto* half : {&plan.first, &plan.second}) {
    for (const PlanElement& e : *half) {
      out.u16(e.tag);
      if (e.tag == plan_tag::kWhole) out.i16(static_cast<int16_t>(e.value));
      if (e.tag == plan_tag::kReal) out.f64(e.value);
    }
  }
  out.flush();
}

}  // namespace sb
