#include "windows/monitor_window.h"

#include "link/serial_backend.h"
#include "records/record_table.h"

namespace vkt::windows {

TForm2::TForm2(WindowBackend& backend, MessageQueue& queue)
    : Window(backend, "TForm2", "Form2"),
      StringGrid1("StringGrid1", records::kColumns, records::kInitialRows),
      Timer1("Timer1", queue, 1000) {
  for (Control* c : std::initializer_list<Control*>{
           &StringGrid1, &ListBox1, &Memo1, &Edit1, &Button5, &ListBox11, &ListBox12, &ListBox13, &ListBox14,
           &Button1, &Button2, &Button4, &Button3, &Label11, &Label2, &Label1, &CheckBox1, &Timer1})
    controls_by_name(*c);
  // FormCreate: the byte-count label starts empty, the table gets its headers
  // and widths; the terminal view and the timer start switched off.
  Label1.set_text("");
  records::lay_out_record_table(StringGrid1);
  CheckBox1.on_click = [this] { terminal.set_active(CheckBox1.checked()); };
}

TForm2::~TForm2() {
  // Destroying the window closes its port first (discarding unsent output).
  Timer1.set_timer_enabled(false);
  try {
    ApdComPort1.set_open(false);
  } catch (...) {
  }
}

}  // namespace vkt::windows
