#!/bin/bash
# Deploys the site.
# @runel.label Deploy Site
# @runel.icon cloud.fill
# @runel.pinned
# @runel.output background
# @runel.ignore sequence

rsync -a public/ host:/srv/www/
