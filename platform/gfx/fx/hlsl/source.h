#pragma once
// The HLSL that the shader compiler sees for an effect: the preprocessed effect
// text with the effect-only syntax blanked out (techniques, texture and string
// parameters, sampler_state blocks, annotations, semantics and registers of
// parameters, `#line` markers), every other character in place. Blanking keeps
// each line where it was, so a line of the result maps back to the file and line
// the effect's author wrote, through the markers the preprocessor left.
// What one shader reads is made from it: the functions and global variables it
// reaches, with the lines they were on, the rest left out. A static whose
// value the shaders give at their entry point (its initializer calls the
// effect's functions, which the shader compiler cannot take in a global's
// initializer) is declared there without it; the statements that give it
// its value, on its own lines, go first in the entry point.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/rewrites/loop_variables.h"
#include "platform/gfx/fx/rewrites/matrix_swizzles.h"
#include "platform/gfx/fx/syntax/name_table.h"

namespace gfx {

struct HlslSource {
    struct Origin {
        uint32_t file = 0; // index into files
        int line = 1;
    };
    // Every identifier that the functions and global variables name is
    // numbered, once, so that what a shader reaches is a set of numbers.
    using Id = uint32_t;
    static constexpr Id kNoId = NameTable::kNone;
    static constexpr size_t kNone = ~size_t{0};
    // A function, or one name that a global declaration declares: its place
    // in text and the identifiers it names, named[namesBegin, namesEnd) (a
    // variable's from its name to its initializer's end; those of its type
    // are its declaration's, named once for all its names).
    struct Definition {
        Id name = kNoId;
        size_t begin = 0;
        size_t end = 0;
        size_t namesBegin = 0;
        size_t namesEnd = 0;
        size_t comma = kNone;       // a variable's: the comma after it, when another name follows
        size_t declaration = kNone; // a variable's: its declaration
        size_t nameEnd = 0;         // a variable's: past its name and array size
        size_t assigned = kNone;    // a static given its value at the entry point: its '='
        bool body = false;          // a function's: defined here, not only declared
    };
    // A global variable declaration: the statement (type to ';'), its names,
    // variables[first, first + count), and what its type names,
    // named[typeNamesBegin, typeNamesEnd).
    struct Declaration {
        size_t begin = 0;
        size_t type = 0; // where its type begins, after the modifiers
        size_t end = 0;
        size_t first = 0;
        size_t count = 0;
        size_t typeNamesBegin = 0;
        size_t typeNamesEnd = 0;
    };
    // Room for Reached, one for each thread that calls it: with it a call
    // costs what it reaches, however many names the effect holds.
    class Scratch {
        friend struct HlslSource;
        std::vector<uint32_t> idRound;
        std::vector<uint32_t> declarationRound;
        uint32_t round = 0;
    };
    // Where a global variable lies in the parameters' uniform block, in
    // bytes, by id; kNoPlace for one that is not in it.
    using Places = std::vector<uint32_t>;
    static constexpr uint32_t kNoPlace = ~uint32_t{0};

    HlslSource() = default;
    HlslSource(HlslSource&&) = default;
    HlslSource& operator=(HlslSource&&) = default;
    HlslSource(const HlslSource&) = delete; // the table of names views its own strings
    HlslSource& operator=(const HlslSource&) = delete;

    std::string text;
    // Declarations the text needs before it, on one line (the helpers of
    // casts to array types), or "".
    std::string prelude;
    std::vector<Definition> functions;
    // By function: its overload that takes vectors for its scalar
    // parameters (rewrites/vector_arguments.h), or "".
    std::vector<std::string> vectorOverloads;
    std::vector<Definition> variables;       // of the declarations, in order
    std::vector<Declaration> declarations;   // of variables the shaders may read (no textures or strings)
    std::vector<Id> named;                   // what each definition names, a run each
    std::vector<Id> alwaysNamed;             // what the text always kept (structs, typedefs) names
    std::vector<std::string> files;
    std::vector<Origin> lines; // origin of each line of text, the first at index 0
    // The loop variables declared again in their scopes (rewrites/loop_variables.h).
    std::vector<RedeclaredLoopVariable> redeclaredLoopVariables;
    // The writes to swizzles of several matrix elements (rewrites/matrix_swizzles.h).
    std::vector<SwizzleWrite> swizzleWrites;
    // A close signal stopped the reading: the rest of the text is missing.
    bool stopped = false;
    // Errors of the text that no stage may take (a constant division by
    // zero), in the effect's words; "" for none.
    std::string errors;

    // The file and line that line `line` (1-based) of text came from; lines past
    // the end (generated code) map to the last one.
    Origin Locate(int line) const;
    const std::string& FileOf(const Origin& origin) const { return files[origin.file]; }
    // Where the first definition of function `name` begins (line 1 for none).
    Origin FunctionOrigin(std::string_view name) const;
    // The line (1-based) of text that holds `offset`.
    int LineOf(size_t offset) const;
    // Line `line` (1-based) of text, without its end; "" past the last.
    std::string_view LineText(int line) const;

    size_t IdCount() const { return names_.size(); }
    // kNoId for a name that no function or global variable names.
    Id IdOf(std::string_view name) const { return ids_.Find(name); }
    const std::string& NameOf(Id id) const { return names_[id]; }
    // The number of `name`, numbered now when new (while the text is read).
    Id Number(std::string_view name);
    // The first variable named `id`, or nullptr.
    const Definition* VariableNamed(Id id) const;

    // `roots`, alwaysNamed, and every identifier that the functions and
    // global variables of those names name, and so on, each once.
    std::vector<Id> Reached(const std::vector<Id>& roots, Scratch& scratch) const;
    // The text that one shader reads: the functions and global variables of
    // the names `reached` holds (as Reached gives them, each once) and what
    // the text always keeps, every other one left out. Each kept line keeps its
    // number (a `#line` marker where many lines are left out) and its columns.
    // With `places`, each variable kept that has a place in the uniform block
    // is declared at it; with `withOverloads`, each function kept is
    // followed by its overload for vectors. Once the program is closing it
    // gives up early: its caller looks for the close signal after it.
    std::string TextFor(const std::vector<Id>& reached, const Places* places = nullptr,
                        bool withOverloads = false) const;
    bool HasVectorOverloads() const { return hasVectorOverloads_; }
    // The statements that give the statics among `reached` that are given
    // their values at the entry point those values, in the order declared,
    // each value at its own line and column (`#line` markers before them;
    // the caller's numbering is the caller's to restore); "" for none.
    std::string StaticAssignments(const std::vector<Id>& reached) const;
    bool HasStaticAssignments() const { return assignedStatics_; }

private:
    std::deque<std::string> names_; // by id; a deque, so that the table's views stay put
    NameTable ids_;
    std::vector<size_t> firstFunction_;       // by id: the first function of that name, or functions.size()
    std::vector<size_t> nextFunction_;        // by function: the next of the same name
    std::vector<size_t> firstVariable_;       // by id: the first variable of that name, or variables.size()
    std::vector<size_t> nextVariable_;        // by variable: the next of the same name
    std::vector<size_t> lineStarts_;          // by line of text, from 0: where it starts
    // Text outside every function and declaration that holds more than
    // blanks, a piece for each line: kept in every shader's text.
    std::vector<std::pair<size_t, size_t>> alwaysKept_;
    bool assignedStatics_ = false;
    bool hasVectorOverloads_ = false;
    friend HlslSource ExtractHlsl(std::string_view, const std::string&, const std::vector<std::string>&);
};

// `preprocessed` is what the effect preprocessor produced for `fileName`; it
// has already been parsed as an effect, so its declarations are well formed.
// `assigned` names the statics given their values at the entry point.
// A close signal (platform::CloseSignalReceived) stops it early, with
// `stopped` set.
HlslSource ExtractHlsl(std::string_view preprocessed, const std::string& fileName,
                       const std::vector<std::string>& assigned = {});

} // namespace gfx
