// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The core's own failure types and the step helper.
//
// Most handlers of the program skip a statement that fails and go on with the next one. The core
// reports such a failure by throwing one of the types below; a handler runs each statement through
// step() (or stepIf() for a condition with a body), which swallows exactly these failures. Procedures
// that must stop at their first failure (record writing, compaction) simply let them propagate.
#pragma once

#include <stdexcept>
#include <string>

namespace rx47 {

/// Base of every failure a handler may skip. Anything else is a programming error.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
/// A number that does not fit the variable it is stored into.
struct Overflow : Failure {
    using Failure::Failure;
};
/// A value of the wrong kind (a text that is not a number, an empty setting).
struct TypeMismatch : Failure {
    using Failure::Failure;
};
/// A settings column that the row does not have.
struct MissingColumn : Failure {
    using Failure::Failure;
};
/// The settings database could not be opened, read or written.
struct DatabaseError : Failure {
    using Failure::Failure;
};
/// An operation on a serial port that is not open.
struct PortClosed : Failure {
    using Failure::Failure;
};
/// A file or folder that could not be created, opened or written.
struct FileError : Failure {
    using Failure::Failure;
};

/// Runs one statement; a core failure skips it. Returns whether it ran to the end.
template <class Statement>
bool step(Statement&& statement) {
    try {
        statement();
        return true;
    } catch (const Failure&) {
        return false;
    }
}

/// Runs a conditional statement. A condition that fails to evaluate counts as met, so the body runs
/// (the body is one step of its own).
template <class Condition, class Body>
void stepIf(Condition&& condition, Body&& body) {
    bool met = true;
    try {
        met = condition();
    } catch (const Failure&) {
        met = true;
    }
    if (met) step(body);
}

/// As stepIf, with an else branch that runs only when the condition was evaluated and not met.
template <class Condition, class Body, class Otherwise>
void stepIf(Condition&& condition, Body&& body, Otherwise&& otherwise) {
    bool met = true;
    try {
        met = condition();
    } catch (const Failure&) {
        met = true;
    }
    if (met)
        step(body);
    else
        step(otherwise);
}

}  // namespace rx47
