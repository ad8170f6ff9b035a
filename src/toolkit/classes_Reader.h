// The reader of stored layouts: the text form of a component tree.
//
//   object SetupMainForm: TSetupMainForm
//     ClientWidth = 800
//     OnActivate = FormActivate
//     object Install1: TInstall
//       BuildInfo.OCXName = 'qwsetup'
//       InstallTypes = [itAlways]
//       Description.Strings = ('first line' 'second line')
//     end
//   end
//
// Values: integers, numbers, 'strings' (a quote doubled inside; #13 codes and
// + continue them), True/False and other identifiers, [sets], ('lists'),
// {hex bytes}. Errors name the line.
#pragma once
#include "toolkit/classes_Components.h"
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct TLayoutLimits {
    size_t MaxText = 16u << 20;   // bytes of layout text
    size_t MaxDepth = 32;         // nested object blocks
    size_t MaxString = 1u << 20;  // bytes of one string or binary value
    size_t MaxItems = 65536;      // entries of one list or set
    size_t MaxComponents = 10000; // object blocks in all
};

struct TLayoutBlock {
    std::string Name;
    std::string ClassName;
    int Line = 0;
    std::vector<std::pair<std::string, TStoredValue>> Props; // dotted path, value
    std::vector<TLayoutBlock> Children;
};

// Parses the text alone; raises EReadError_Layout naming the line.
TLayoutBlock ParseLayout(std::string_view text, const TLayoutLimits& limits = {});

// Reads a layout into an existing root: the root block's class must be the
// root's class. Its components are created with the root as owner and set in
// stored order while loading; a reference to a component read earlier is set
// in that order too, forward references and events once the whole tree
// exists; then Loaded() runs on every component in creation order.
void ReadLayoutInto(TComponent& root, std::string_view text, const TLayoutLimits& limits = {});

// Creates the root by its class name too; the caller owns the result unless
// owner is given. Nothing is left behind when reading fails.
TComponent* CreateFromLayout(std::string_view text, TComponent* owner = nullptr,
                             const TLayoutLimits& limits = {});

// Parses one stored value ("'text'", "[a, b]", "12", ...).
TStoredValue ParseStoredValue(std::string_view text);
