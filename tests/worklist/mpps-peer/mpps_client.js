// An independent MPPS client for the end-to-end tests, built on dcmjs-dimse
// (which encodes sequences with undefined lengths).
//
//   node mpps_client.js PORT create UID|- STATUS ACCESSION STUDY_UID SPS_ID
//   node mpps_client.js PORT set UID STATUS|-
//
// Prints "status=0xNNNN uid=UID" for the response; exits 2 when no response came.
'use strict';
const { Client, Dataset, requests, constants } = require('dcmjs-dimse');

const [port, command, uid, status, ...keys] = process.argv.slice(2);
const mppsClass = constants.SopClass.ModalityPerformedProcedureStep;
const elements = {};
if (status && status !== '-') elements.PerformedProcedureStepStatus = status;

let request;
if (command === 'create') {
  const [accession, study, step] = keys;
  elements.Modality = 'CT';
  elements.PerformedProcedureStepStartDate = '20240315';
  elements.ScheduledStepAttributesSequence = [
    { AccessionNumber: accession, StudyInstanceUID: study, ScheduledProcedureStepID: step },
  ];
  request = new requests.NCreateRequest(mppsClass, uid === '-' ? '' : uid);
} else if (command === 'set') {
  elements.PerformedProcedureStepEndDate = '20240315';
  request = new requests.NSetRequest(mppsClass, uid);
} else {
  console.error('usage: mpps_client.js PORT create|set ...');
  process.exit(64);
}
request.setDataset(new Dataset(elements));

let answered = false;
request.on('response', (response) => {
  answered = true;
  const code = response.getStatus().toString(16).padStart(4, '0');
  console.log(`status=0x${code} uid=${response.getAffectedSopInstanceUid() || ''}`);
});
const client = new Client();
// The server closes the connection itself a while after the release; a
// reset then is no failure once the response is in.
client.on('networkError', (e) => {
  console.error(`network error: ${e.message}`);
  process.exit(answered ? 0 : 2);
});
client.on('associationReleased', () => process.exit(answered ? 0 : 2));
client.on('closed', () => process.exit(answered ? 0 : 2));
client.addRequest(request);
client.send('127.0.0.1', Number(port), 'MPPSSCU', 'TARVELIN');
setTimeout(() => {
  console.error('no answer within 15 s');
  process.exit(2);
}, 15000).unref();
