#pragma once
// Identifiers of the executable's resources.
