# The commands of the README. Each installs what is missing first.
.PHONY: run test dist
run:
	@scripts/run
test:
	@scripts/test
dist:
	@scripts/dist
