#include "format/scenario_table_file.h"

#include "format/le_writer.h"

namespace sb {

void write_scenario_table(const TableRecords& table, ByteSink& sink) {
  LeWriter out(sink);
  for (const TableRecord& r : table) {
    out.u8(r.kind);
    out.i32(r.start);
    out.i32(r.end);
    out.i32(r.position);
    out.u8(r.attribute_4);
    out.u16(static_cast<uint16_t>(r.text.size()));
    out.bytes(r.text);
    out.i16(r.attribute_7);
    out.i16(r.attribute_8);
    out.i16(r.attribute_10);
    out.i16(r.attribute_11);
    out.i16(r.attribute_12);
    out.u8(r.attribute_9);
    out.u8(r.attribute_13);
    out.u8(r.end_extension);
    out.u8(r.attribute_5);
    out.i32(r.time);
  }
  out.flush();
}

}  // namespace sb
