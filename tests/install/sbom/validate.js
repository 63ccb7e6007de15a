// node validate.js FILE: FILE is a CycloneDX 1.6 JSON document, by the CycloneDX library's strict
// validator (the official schema, with ajv); prints the errors and exits with 1 when it is not.
const fs = require('fs')
const { Validation } = require('@cyclonedx/cyclonedx-library')
new Validation.JsonStrictValidator('1.6').validate(fs.readFileSync(process.argv[2], 'utf8'))
  .then(errors => { if (errors) { console.error(JSON.stringify(errors, null, 1)); process.exit(1) } })
  .catch(error => { console.error(String(error)); process.exit(2) })
