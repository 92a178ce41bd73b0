#include "nds/unpack/layout_writer.h"

#include <algorithm>
#include <map>

#include "nds/unpack/part_writer.h"

namespace nds {

namespace {

// Shorter runs of one byte between items are leftovers, not padding.
constexpr std::uint64_t kMinFillRun = 32;

// Splits a gap between items into runs of one byte value (fill regions) and
// everything else (raw regions, whose bytes go to the extra file).
class GapScanner {
 public:
  GapScanner(Layout& layout, OutFile& extra, Fnv64& hash)
      : layout_(layout), extra_(extra), hash_(hash) {}

  void scan(const InFile& rom, std::uint64_t start, std::uint64_t end,
            std::vector<std::uint8_t>& buffer) {
    raw_start_ = start;
    raw_length_ = 0;
    run_length_ = 0;
    for (std::uint64_t pos = start; pos < end;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(end - pos, buffer.size()));
      rom.read_at(pos, std::span<std::uint8_t>(buffer.data(), n));
      for (std::size_t i = 0; i < n; ++i) take(pos + i, buffer[i]);
      pos += n;
    }
    close_run();
    flush_raw();
  }

  // Raw bytes of an item (the FNT, unnamed files): returns their extra offset.
  std::uint64_t copy_item(const InFile& rom, std::uint64_t offset, std::uint64_t length,
                          std::vector<std::uint8_t>& buffer) {
    const std::uint64_t at = extra_.position();
    for (std::uint64_t done = 0; done < length;) {
      const auto n =
          static_cast<std::size_t>(std::min<std::uint64_t>(length - done, buffer.size()));
      rom.read_at(offset + done, std::span<std::uint8_t>(buffer.data(), n));
      hash_.update(buffer.data(), n);
      extra_.write(std::span<const std::uint8_t>(buffer.data(), n));
      done += n;
    }
    return at;
  }

 private:
  void take(std::uint64_t position, std::uint8_t byte) {
    if (run_length_ > 0 && byte == run_byte_) {
      ++run_length_;
      return;
    }
    close_run();
    run_byte_ = byte;
    run_start_ = position;
    run_length_ = 1;
  }

  void close_run() {
    if (run_length_ == 0) return;
    if (run_length_ >= kMinFillRun) {
      flush_raw();
      Region fill;
      fill.kind = Kind::Fill;
      fill.offset = run_start_;
      fill.length = run_length_;
      fill.fill = run_byte_;
      layout_.regions.push_back(fill);
      raw_start_ = run_start_ + run_length_;
    } else {
      std::uint8_t run[kMinFillRun];
      std::fill_n(run, run_length_, run_byte_);
      hash_.update(run, static_cast<std::size_t>(run_length_));
      extra_.write(std::span<const std::uint8_t>(run, static_cast<std::size_t>(run_length_)));
      raw_length_ += run_length_;
    }
    run_length_ = 0;
  }

  void flush_raw() {
    if (raw_length_ == 0) return;
    Region raw;
    raw.kind = Kind::Raw;
    raw.offset = raw_start_;
    raw.length = raw_length_;
    raw.extra = extra_.position() - raw_length_;
    layout_.regions.push_back(raw);
    raw_start_ += raw_length_;
    raw_length_ = 0;
  }

  Layout& layout_;
  OutFile& extra_;
  Fnv64& hash_;
  std::uint8_t run_byte_ = 0;
  std::uint64_t run_start_ = 0, run_length_ = 0;
  std::uint64_t raw_start_ = 0, raw_length_ = 0;
};

// The padding byte for what a smaller item leaves of its slot: the fill
// after the ARM7 if there is one, else the most common fill.
std::uint8_t padding_byte(const Layout& layout) {
  std::map<std::uint8_t, std::uint64_t> fill_total;
  for (const Region& region : layout.regions)
    if (region.kind == Kind::Fill) fill_total[region.fill] += region.length;
  std::uint8_t pad = 0;
  std::uint64_t most = 0;
  for (const auto& [byte, total] : fill_total)
    if (total > most) most = total, pad = byte;
  for (std::size_t i = 0; i + 1 < layout.regions.size(); ++i)
    if (layout.regions[i].kind == Kind::Arm7 && layout.regions[i + 1].kind == Kind::Fill)
      pad = layout.regions[i + 1].fill;
  return pad;
}

bool bytes_in_extra(const Item& item) {
  return item.kind == Kind::Fnt || item.kind == Kind::Shared ||
         (item.kind == Kind::File && item.source == Source::Raw);
}

// What the model says about the whole image, before the regions.
Layout layout_head(const ImageModel& model) {
  Layout layout;
  layout.image_size = model.size;
  layout.header_part = static_cast<std::uint32_t>(model.header.size());
  layout.arm9_footer = model.arm9_footer;
  layout.fat_count = static_cast<std::uint32_t>(model.fat.size());
  layout.header_crc = model.crcs.header;
  layout.logo_crc = model.crcs.logo;
  layout.secure_crc = model.crcs.secure;
  layout.pointers = model.pointers;
  layout.kept = model.kept;
  return layout;
}

// Regions for the gaps between items, and the bytes no part carries (gaps,
// the FNT, shared regions, unnamed files) in the extra file.
Layout layout_of(const InFile& rom, const ImageModel& model, const PartPath& extra_part,
                 WriteBudget* budget) {
  Layout layout = layout_head(model);
  OutFile extra(extra_part.path, extra_part.label, false, budget);
  Fnv64 hash;
  GapScanner gaps(layout, extra, hash);
  std::vector<std::uint8_t> buffer(kIoBuffer);
  std::uint64_t pos = 0;
  for (const Item& item : model.items) {
    gaps.scan(rom, pos, item.offset, buffer);
    Region region = item;
    if (bytes_in_extra(item)) region.extra = gaps.copy_item(rom, item.offset, item.length, buffer);
    layout.regions.push_back(region);
    pos = item.offset + item.length;
  }
  gaps.scan(rom, pos, model.size, buffer);
  layout.extra_size = extra.position();
  layout.extra_hash = hash.value();
  extra.close();
  layout.pad = padding_byte(layout);
  return layout;
}

void write_text(const PartPath& part, const std::string& text, WriteBudget* budget) {
  OutFile out(part.path, part.label, false, budget);
  out.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                          text.size()));
  out.close();
}

}  // namespace

void write_layout_files(const InFile& rom, const ImageModel& model, const Parts& parts,
                        const RunOptions& options) {
  const PartPath layout_p = layout_part(parts), extra_p = extra_part(parts);
  const Layout layout = layout_of(rom, model, extra_p, options.write_budget);
  write_text(layout_p, layout_text(layout), options.write_budget);
  write_range(rom, parts.header, 0, model.header.size(), options.write_budget);
  if (options.log)
    options.log("  " + layout_p.label + ": " + std::to_string(layout.regions.size()) +
                " regions; " + extra_p.label + ": " + std::to_string(layout.extra_size) + " bytes");
}

}  // namespace nds
