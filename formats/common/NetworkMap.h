//===- NetworkMap.h - Which destination network each network card joins ---===//
//
// The user's mapping of the source VM's networks onto the destination's, as
// V2V tools take it: a rule maps one source network, by its exact name, or
// every source network no other rule names (a rule without a source), onto a
// named network or a host bridge of the destination.  The native writers
// read it through SNativeWriteInput; it is no member of the VM description,
// so descriptions, requests and the files that store them keep their shape.
//
// A card's destination, in order: the rule naming its source network, else
// the rule without a source, else the source's own name (a host bridge when
// the source platform names bridges, as a Xen vif's bridge= does).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <string>
#include <vector>

struct SNetworkMapping {
  std::string strSource;  // the source network; empty: every other one
  std::string strTarget;  // the destination network or bridge
  bool bBridge = false;   // strTarget is a host bridge, not a network
};

struct SNetworkMap {
  std::vector<SNetworkMapping> vMappings;
  // The source platform's cards name host bridges (Xen), so an unmapped
  // card stays on a bridge of that name.
  bool bSourceBridges = false;
};

// Where one card goes.
struct SNetworkTarget {
  std::string strName;   // empty: the card names none
  bool bBridge = false;  // a host bridge, not a network
  bool bMapped = false;  // a rule of the map chose it
};

// The destination of a card on the source network named source.
ZY_PLATFORM_API SNetworkTarget MapNetwork(const SNetworkMap& map,
                                          const std::string& source);

// Why map cannot be applied to a VM whose cards are on networks, one
// sentence, or empty: a rule names a source network no card is on (a typo
// would leave the card on a network the user did not choose), or two rules
// name the same source.
ZY_PLATFORM_API std::string CheckNetworkMap(
    const SNetworkMap& map, const std::vector<std::string>& networks);
