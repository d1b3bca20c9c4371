// The tool's commands. Each reads its arguments from the context, runs unit operations and fills
// the context's report, and says how it ended.
#pragma once

#include "tool_context.h"

ToolResult ListCommand(ToolContext& context);         // list
ToolResult InquiryCommand(ToolContext& context);      // inquiry
ToolResult CapacityCommand(ToolContext& context);     // capacity
ToolResult ReadBlocksCommand(ToolContext& context);   // read-blocks LBA COUNT FILE [--block-size N]
ToolResult WriteBlocksCommand(ToolContext& context);  // write-blocks LBA FILE [--block-size N]
ToolResult ReadMemoryCommand(ToolContext& context);   // read-memory ADDRESS COUNT [FILE] [--even]
ToolResult WriteMemoryCommand(ToolContext& context);  // write-memory ADDRESS (FILE | --hex BYTES) [--even]
ToolResult ParameterPageCommand(ToolContext& context);  // param-page [read] | param-page write --group G ...
ToolResult AtaIdentifyCommand(ToolContext& context);  // ata-identify
ToolResult PlanCommand(ToolContext& context);         // plan IMAGE [--revision R] [--config V]
ToolResult UpdateCommand(ToolContext& context);       // update IMAGE [--yes] [--timeout S]
