#pragma once

namespace kvt {

/// Gives the demo catalogue's products their pieces and the materials they are cut from (a wooden
/// frame, its door leaf, an aluminium frame), with an offcut on the rack. Runs inside the demo's
/// transaction, after the products.
void SeedDemoCutting();

} // namespace kvt
