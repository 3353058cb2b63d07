// The package writer: everything needed to make package files for tests,
// benchmarks and the tpk tool. Independent of the installer's own reader.
#pragma once

#include "pkgwriter/digest_window.h"
#include "pkgwriter/file_tree_builder.h"
#include "pkgwriter/key_signer.h"
#include "pkgwriter/package_builder.h"
#include "pkgwriter/part_encoding.h"
