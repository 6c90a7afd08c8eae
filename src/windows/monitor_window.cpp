#include "windows/monitor_window.h"

#include "records/record_table.h"

namespace vkt::windows {
namespace {

void fill(ui::ListBox& list, const std::vector<std::string>& items) {
  list.clear();
  for (const std::string& item : items) list.add(item);
}

}  // namespace

TForm2::TForm2(ui::WindowBackend& backend, ui::MessageQueue& queue, const SerialBackendFactory& serial_backends,
               RegistryFactory registry)
    : Window(backend, "TForm2", "Form2",
             // A title bar without buttons.
             {.client_width = kClientWidth, .client_height = kClientHeight, .title_buttons = false}),
      ApdComPort1(serial_backends ? serial_backends() : nullptr),
      StringGrid1("StringGrid1", records::kColumns, records::kInitialRows, std::make_unique<records::RecordTable>()),
      Timer1("Timer1", queue, 1000),
      registry_(std::move(registry)) {
  place_controls();
  for (ui::Control* c : std::initializer_list<ui::Control*>{
           &StringGrid1, &ListBox1, &Memo1, &Edit1, &Button5, &ListBox11, &ListBox12, &ListBox13, &ListBox14,
           &Button1, &Button2, &Button4, &Button3, &Label11, &Label2, &Label1, &CheckBox1, &Timer1, &Terminal1})
    controls_by_name(*c);
  // FormCreate: the byte-count label starts empty, the table gets its headers
  // and widths; the terminal view and the timer start switched off.
  Label1.set_text("");
  records::lay_out_record_table(StringGrid1);
  CheckBox1.on_click = [this] { terminal.set_active(CheckBox1.checked()); };
}

void TForm2::place_controls() {
  struct At {
    ui::Control* control;
    ui::Place place;
  };
  // The record table across the top; below it the parameter list, the reply
  // view and the terminal view (kTerminalPlace); then a band with the four
  // search lists and the command line; the test buttons and labels at the
  // bottom.
  const At table[] = {
      {&StringGrid1, {0, 0, kClientWidth, 225}},
      {&ListBox1, {0, 225, 177, 240}},
      {&Memo1, {177, 225, 335, 240}},
      {&ListBox11, {0, 465, 200, 110}},
      {&ListBox12, {200, 465, 150, 110}},
      {&ListBox13, {350, 465, 250, 110}},
      {&ListBox14, {600, 465, 120, 110}},
      {&Edit1, {728, 472, 112, 21}},
      {&Button5, {728, 500, 112, 25}},
      {&Button1, {8, 590, 113, 25}},
      {&Button2, {128, 590, 113, 25}},
      {&Button4, {248, 590, 97, 25}},
      {&Button3, {352, 590, 97, 25}},
      {&Label11, {464, 596, 80, 13}},
      {&Label2, {556, 596, 72, 13}},
      {&Label1, {632, 596, 60, 13}},
      {&CheckBox1, {712, 594, 128, 17}},
      {&Terminal1, kTerminalPlace},
  };
  for (const At& at : table) at.control->place = at.place;
}

TForm2::~TForm2() {
  // Destroying the window closes its port first (discarding unsent output),
  // and lets no message run meanwhile: the window is going, and at unload
  // nothing may run at all.
  Timer1.set_timer_enabled(false);
  ApdComPort1.set_close_wait_hook({});
  try {
    ApdComPort1.set_open(false);
  } catch (...) {
  }
}

link::DiscoveryResult TForm2::search() {
  const std::unique_ptr<link::RegistryReader> reader =
      registry_ ? registry_() : link::make_system_registry_reader();
  link::DiscoveryResult found = link::PortDiscovery(*reader);
  show_discovery(found);
  return found;
}

void TForm2::show_terminal() { Terminal1.set_text(terminal.text()); }

void TForm2::clear_reply() {
  Memo1.clear();
  ListBox1.clear();
}

void TForm2::show_reply(const std::string& text, const std::vector<std::string>& lines) {
  Memo1.set_text(text);
  for (const auto& line : lines) ListBox1.add(line);
}

void TForm2::show_discovery(const link::DiscoveryResult& found) {
  fill(ListBox11, found.device_map);
  fill(ListBox12, found.vcp_ports);
  fill(ListBox13, found.adapters);
  fill(ListBox14, found.ports);
  Label11.set_text(found.completed ? "finished" : "Searching...");
}

std::optional<std::string> TForm2::search_list_text(int number) const {
  const ui::ListBox* lists[] = {&ListBox11, &ListBox12, &ListBox13, &ListBox14};
  if (number == 15) return Label11.text() + "\n";
  if (number < 11 || number > 14) return std::nullopt;
  std::string lines;
  for (const std::string& item : lists[number - 11]->items()) lines += item + "\n";
  return lines;
}

}  // namespace vkt::windows
