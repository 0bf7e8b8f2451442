#pragma once

#include <cstdint>
#include <vector>

#include "tools/packtool/PeResources.h"

// Finding, removing and adding leaves of a program's resources, for "packtool brand".

// Resource names match without regard to ASCII case, as the loader matches them.
bool SameResourceId(const ResourceId& a, const ResourceId& b);
// The leaf is of this numbered type and has this name.
bool LeafIs(const ResourceLeaf& leaf, uint16_t type, const ResourceId& name);
// Removes every leaf of this type and name; returns the language of the first one (or the fallback).
uint16_t RemoveLeaves(std::vector<ResourceLeaf>* leaves, uint16_t type, const ResourceId& name, uint16_t fallback);
void AddLeaf(std::vector<ResourceLeaf>* leaves,
             uint16_t type,
             const ResourceId& name,
             uint16_t language,
             std::vector<unsigned char> data);
