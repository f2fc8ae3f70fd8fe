-- @runel.label Mail Summary
-- @runel.output background
  -- @runel.ignore search
-- @runel.fallback ^https?:// -- @runel.icon envelope# @runel.pinned false
