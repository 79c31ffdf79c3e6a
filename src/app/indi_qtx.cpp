// indi_qtx: the QTX as an INDI device, for indiserver. libindi's driver main() reads the
// server's requests on standard input, hands each to the devices that exist and runs the
// event loop; this program's one device is made here, before main() runs.
#include <memory>

#include "qtx_ccd.hpp"

namespace {

const std::unique_ptr<qtx::indi::QtxCcd> device = std::make_unique<qtx::indi::QtxCcd>();

}  // namespace
