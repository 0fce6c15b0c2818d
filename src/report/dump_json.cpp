// tarvel-dump's JSON Lines writer: one object a record, written as the record streams past.
#include "report/dump_base.h"
#include "report/machine_text.h"

namespace tarvel {

namespace {

// The entry's fields before its property items, and after them.
constexpr std::size_t ENTRY_FIRST = dump_field("offset");
constexpr std::size_t ENTRY_BEFORE_PROPERTIES = dump_field("properties_size") + 1;
constexpr std::size_t ENTRY_LAST = dump_field("sha1") + 1;

class JsonDump final : public DumpBase {
 public:
  using DumpBase::DumpBase;

  void write_header(const DumpHeader& header) override {
    std::string scratch;
    header_values(header, values_, scratch);
    append_json_record(out_, "header", DUMP_FIELDS, values_);
    maybe_flush();
  }

  void application_start(std::uint64_t offset) override {
    lossy_ = false;
    open_ = Open::application;
    out_ += "{\"type\":\"application\"";
    field(dump_field("offset"), FieldValue::of_number(offset));
  }
  void application_end() override { close_record(); }

  // A record the image broke off in the middle of is closed, and says so.
  void finish() override {
    if (open_ == Open::entry) {
      out_ += item_open_ ? "}]" : "]";
    }
    if (open_ != Open::nothing) {
      out_ += ",\"incomplete\":true";
      close_record();
    }
    DumpBase::finish();
  }

  void entry(const EntryFields& fields) override {
    lossy_ = false;
    open_ = Open::entry;
    item_open_ = false;
    entry_values(fields, values_, texts_);
    out_ += "{\"type\":\"entry\"";
    for (std::size_t at = ENTRY_FIRST; at < ENTRY_BEFORE_PROPERTIES; ++at) {
      field(at, values_[at]);
    }
    out_ += ",\"properties\":[";
    first_item_ = true;
  }
  bool wants_properties() const override { return true; }
  void entry_end(const PropertiesEnd& properties) override {
    // An item whose value ran past the block has its name only.
    out_ += item_open_ ? "}]" : "]";
    item_open_ = false;
    entry_end_values(properties, values_, texts_);
    for (std::size_t at = ENTRY_BEFORE_PROPERTIES; at < ENTRY_LAST; ++at) {
      field(at, values_[at]);
    }
    close_record();
  }

 protected:
  void text_run(const RunStart& run, std::span<const std::uint8_t> bytes) override {
    if (run.kind == RunKind::application_text) {
      const std::u16string text = stored_text(bytes);
      field(APPLICATION_FIELDS[run.index], FieldValue::of_text(std::u16string_view(text)));
    } else if (run.kind == RunKind::property_name) {
      open_item();
      const std::u16string text = stored_text(bytes);
      first_member(dump_field("name"), FieldValue::of_text(std::u16string_view(text)));
    } else {
      std::u16string text;
      field(dump_field("value"), property_value(bytes, text));
      out_ += '}';
      item_open_ = false;
    }
    maybe_flush();
  }

  // The hexadecimal form of a long text, opened for its digits to follow.
  void spill_start(const RunStart& run) override {
    if (run.kind == RunKind::hosts) {
      out_ += "{\"type\":\"hosts\",\"line_hex\":\"";
      return;
    }
    std::size_t field = dump_field("value");
    if (run.kind == RunKind::application_text) {
      field = APPLICATION_FIELDS[run.index];
    } else if (run.kind == RunKind::property_name) {
      open_item();
      field = dump_field("name");
    }
    out_ += item_open_ && field == dump_field("name") ? "\"" : ",\"";
    out_ += DUMP_FIELDS[field].name;
    out_ += "_hex\":\"";
  }

  void spill_end(const RunStart& run) override {
    out_ += '"';
    if (run.kind == RunKind::hosts) {
      out_ += "}\n";
    } else if (run.kind == RunKind::property_value) {
      out_ += '}';
      item_open_ = false;
    }
    maybe_flush();
  }

  void hosts_line(std::string_view line) override {
    lossy_ = false;
    out_ += "{\"type\":\"hosts\"";
    field(dump_field("line"), FieldValue::of_text(line));
    close_record();
  }

 private:
  void field(std::size_t at, const FieldValue& value) {
    lossy_ = !append_json_field(out_, DUMP_FIELDS[at], value) || lossy_;
  }
  // The first member of an object just opened: no comma before it.
  void first_member(std::size_t at, const FieldValue& value) {
    const std::size_t comma = out_.size();
    field(at, value);
    out_.erase(comma, 1);
  }
  void open_item() {
    out_ += first_item_ ? "{" : ",{";
    first_item_ = false;
    item_open_ = true;
  }
  void close_record() {
    out_ += lossy_ ? ",\"lossy\":true}\n" : "}\n";
    lossy_ = false;
    open_ = Open::nothing;
    maybe_flush();
  }

  enum class Open { nothing, application, entry };

  DumpValues values_;
  EntryTexts texts_;
  bool first_item_ = true;
  bool item_open_ = false;
  bool lossy_ = false;
  Open open_ = Open::nothing;
};

}  // namespace

std::unique_ptr<DumpWriter> make_json_dump(Console& console) {
  return std::make_unique<JsonDump>(console);
}

}  // namespace tarvel
