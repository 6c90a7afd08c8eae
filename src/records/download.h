#pragma once
// The download of every record into the record table.
namespace vkt {
class Library;
}

namespace vkt::records {

bool vkt_inputdata(Library& library);

}  // namespace vkt::records
