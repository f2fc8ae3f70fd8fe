# @runel.argument {"placeholder": "Query", "value": "{clipboard}"}
#   @runel.label	 Spaced 
# @runel.fallback
# @runel.ignore
